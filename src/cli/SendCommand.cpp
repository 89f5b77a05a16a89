#include "cli/SendCommand.h"

#include "cli/ExitCode.h"
#include "protocol/ReplyWords.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <string_view>

SendCommand::SendCommand(bool verbose, int replyTimeoutMilliseconds, QObject *parent)
    : QObject(parent)
    , m_client({CZaridoDovoClient::ConnectTimeoutMilliseconds, replyTimeoutMilliseconds})
{
    if (verbose)
        m_client.Log().Start(QString(), &m_logView);
    // One salt for every run, so that a receiver derives this user's key once.
    m_client.SetSaltFile(QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("sender-salt"));

    connect(&m_client, &CZaridoDovoClient::MessageSent, this, [this](int) { Finish(ExitCode::Delivered, {}); });
    connect(&m_client, &CZaridoDovoClient::MessageError, this, [this](const QByteArray &reply) {
        const QString meaning = ReplyExplanation(reply);
        const auto is = [&reply](std::string_view word) {
            return std::string_view(reply.constData(), static_cast<std::size_t>(reply.size())) == word;
        };
        // No valid reply frame came: nothing says whether the text arrived.
        if (is(ZaridoDovo::InvalidReply)) {
            Finish(ExitCode::NotDelivered, QStringLiteral("not delivered: no complete answer (%1)").arg(meaning));
            return;
        }
        // A busy receiver kept nothing, and the same send may pass later: as for no answer.
        if (is(ZaridoDovo::ReplyBusy)) {
            Finish(ExitCode::NotDelivered, QStringLiteral("not delivered: BUSY (%1)").arg(meaning));
            return;
        }
        Finish(ExitCode::Refused, QStringLiteral("the receiver refused the message: %1%2")
                                      .arg(QString::fromUtf8(reply), meaning.isEmpty() ? QString() : " (" + meaning + ")"));
    });
    connect(&m_client, &CZaridoDovoClient::Error, this, [this](int number, const QString &description) {
        Finish(ExitCode::NotDelivered, QStringLiteral("not delivered: %1 (socket error %2)").arg(description).arg(number));
    });
    connect(&m_client, &CZaridoDovoClient::NotSent, this,
            [this](const QString &reason) { Finish(ExitCode::NotSent, reason); });
}

void SendCommand::Start(const QString &address, int port, const QByteArray &message, const QByteArray &password,
                        ZaridoDovo::Cipher cipher)
{
    m_client.SendMessage(address, port, message, password, cipher);
}

void SendCommand::Describe(const QString &destination, bool discovered)
{
    m_destination = destination;
    m_discovered = discovered;
}

void SendCommand::Finish(int exitCode, const QString &why)
{
    if (m_done)
        return;
    m_done = true;
    QString said = why;
    if (exitCode == ExitCode::NotDelivered && m_discovered)
        said += QStringLiteral(" \u2014 it may be blocked by a firewall, or by the network (client isolation on Wi-Fi)");
    if (!said.isEmpty())
        std::fprintf(stderr, "textdrop-cli: %s%s\n", qPrintable(m_destination.isEmpty() ? QString() : m_destination + QStringLiteral(": ")),
                     qPrintable(said));
    emit Finished(exitCode);
}
