#include "app/SendRound.h"

#include "app/MessageDesk.h"
#include "protocol/CZaridoDovoClient.h"

#include <QTimer>

SendRound::SendRound(MessageDesk &desk, CZaridoDovoClient &client, QObject *parent)
    : QObject(parent)
    , m_desk(desk)
{
    connect(&client, &CZaridoDovoClient::MessageSent, this, [this] { Outcome(true, {}); });
    connect(&client, &CZaridoDovoClient::Error, this,
            [this](int, const QString &description) { Outcome(false, description); });
    connect(&client, &CZaridoDovoClient::MessageError, this,
            [this](const QByteArray &reply) { Outcome(false, QString::fromUtf8(reply.left(64))); });
    connect(&client, &CZaridoDovoClient::NotSent, this, [this](const QString &why) { Outcome(false, why); });
}

void SendRound::Start(const QList<Destination> &destinations, const QByteArray &message)
{
    m_left = destinations;
    m_total = destinations.size();
    m_message = message;
    m_failed.clear();
    Next();
}

void SendRound::Outcome(bool ok, const QString &why)
{
    if (!m_waiting)
        return; // a send of its own, not one of the round's
    m_waiting = false;
    if (!ok)
        m_failed += m_current + QStringLiteral(" (") + why + QLatin1Char(')');
    // The client is still inside its own signal: the next send starts after it.
    QTimer::singleShot(0, this, &SendRound::Next);
}

void SendRound::Next()
{
    if (m_left.isEmpty()) {
        const qsizetype ok = m_total - m_failed.size();
        QString summary = tr("%1 of %2 answered \"OK\"").arg(ok).arg(m_total);
        if (!m_failed.isEmpty())
            summary += tr("; not: ") + m_failed.join(QStringLiteral(", "));
        m_total = 0;
        emit Finished(summary);
        return;
    }
    const Destination next = m_left.takeFirst();
    m_current = next.label;
    emit Sending(next);
    m_waiting = true;
    if (!m_desk.Send(next.address, m_message, !next.found))
        Outcome(false, tr("not an address"));
}
