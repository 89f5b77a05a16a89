#include "cli/SendCommand.h"

#include <cstdio>

SendCommand::SendCommand(bool verbose, QObject *parent)
    : QObject(parent)
{
    if (verbose)
        m_client.Log().Start(QString(), &m_logView);

    connect(&m_client, &CZaridoDovoClient::MessageSent, this, [this](int) {
        if (!m_done) {
            m_done = true;
            emit Finished(0);
        }
    });
    connect(&m_client, &CZaridoDovoClient::MessageError, this, [this](const QByteArray &reply) {
        Fail(QStringLiteral("the receiver refused the message: %1").arg(QString::fromUtf8(reply)));
    });
    connect(&m_client, &CZaridoDovoClient::Error, this, [this](int number, const QString &description) {
        Fail(QStringLiteral("socket error %1: %2").arg(number).arg(description));
    });
    // A close before any reply is a failure too; after "OK" it is the normal end.
    connect(&m_client, &CZaridoDovoClient::Disconnected, this,
            [this](const QString &) { Fail(QStringLiteral("the receiver closed the connection without an answer")); });
}

void SendCommand::Start(const QString &address, int port, const QByteArray &message, const QByteArray &password)
{
    m_client.SendMessage(address, port, message, password);
}

void SendCommand::Fail(const QString &why)
{
    if (m_done)
        return;
    m_done = true;
    std::fprintf(stderr, "textdrop-cli: %s\n", qPrintable(why));
    emit Finished(1);
}
