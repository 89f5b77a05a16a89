#include "cli/ListenCommand.h"

#include "protocol/WireFormat.h"
#include "core/EscapeControls.h"
#include "core/MessageArchive.h"

#include <QStandardPaths>

ListenCommand::ListenCommand(const QString &saveDir, const Output &output, QObject *parent)
    : QObject(parent)
    , m_saveDir(saveDir)
    , m_output(output)
{
    connect(&m_server, &CZaridoDovoServer::MessageReceived, this, &ListenCommand::onMessageReceived);
}

bool ListenCommand::Start(const QString &address, int port, int timeout, const QByteArray &password, bool secureOnly,
                          ZaridoDovo::Cipher cipher)
{
    m_server.Log().Start(QString(), &m_logView);
    m_server.SetReplayFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return m_server.StartServer(address, port, timeout, password, secureOnly, cipher);
}

void ListenCommand::Announce(const QString &name, int port, bool sealed)
{
    m_announcer = new ServiceAnnouncer(QDBusConnection::systemBus(), this);
    connect(m_announcer, &ServiceAnnouncer::Published, this,
            [this](const QString &published) { m_server.AddLog(QStringLiteral("Announced on the network as ") + published); });
    connect(m_announcer, &ServiceAnnouncer::Failed, this, [this](const QString &why) {
        m_server.AddLog(QStringLiteral("Not announced on the network: ") + why);
    });
    m_announcer->Announce(name, static_cast<quint16>(port), sealed);
}

void ListenCommand::onMessageReceived(const QByteArray &message, const QString &)
{
    if (m_saveDir.isEmpty()) {
        // Into a pipe or file exactly the bytes that arrived; a terminal is not to be steered.
        const QByteArray shown = m_output.terminal ? EscapeControls(message) : message;
        std::fwrite(shown.constData(), 1, static_cast<std::size_t>(shown.size()), m_output.stream);
        std::fputc(m_output.nullTerminated ? '\0' : '\n', m_output.stream);
        std::fflush(m_output.stream);
        return;
    }
    MessageArchive archive(m_saveDir);
    if (archive.Save(message, m_savedCount)) {
        m_server.AddLog(archive.LogLine());
        return;
    }
    // "OK" would tell the sender that the text is kept. The server logs the system's reason.
    m_server.RefuseMessage(QByteArray(ZaridoDovo::ReplyNotSaved.data(), ZaridoDovo::ReplyNotSaved.size()),
                           QStringLiteral("not saved as ") + archive.SavedPath() + QStringLiteral(": ") + archive.errorString());
}
