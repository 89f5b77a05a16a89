#include "cli/ListenCommand.h"

#include "support/MessageArchive.h"

#include <cstdio>

ListenCommand::ListenCommand(const QString &saveDir, QObject *parent)
    : QObject(parent)
    , m_saveDir(saveDir)
{
    connect(&m_server, &CZaridoDovoServer::MessageReceived, this, &ListenCommand::onMessageReceived);
}

bool ListenCommand::Start(const QString &address, int port, int timeout, const QByteArray &password, bool secureOnly)
{
    m_server.Log().Start(QString(), &m_logView);
    return m_server.StartServer(address, port, timeout, password, secureOnly);
}

void ListenCommand::onMessageReceived(const QByteArray &message, const QString &)
{
    if (m_saveDir.isEmpty()) {
        // Exactly the bytes that arrived, then a newline, as a pipe expects.
        std::fwrite(message.constData(), 1, static_cast<std::size_t>(message.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return;
    }
    m_server.AddLog(MessageArchive(m_saveDir).Save(message, m_savedCount).LogLine());
}
