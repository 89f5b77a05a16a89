#include "protocol/CZaridoDovoServer.h"

#include "protocol/ZaridoDovoConnection.h"

#include <QDateTime>
#include <QTcpSocket>

#include <algorithm>
#include <utility>

CZaridoDovoServer::CZaridoDovoServer(QObject *parent, int tickMilliseconds, ServerLimits limits,
                                     KeyStore::Limits keyLimits)
    : QObject(parent)
    , m_keys(this, keyLimits)
    , m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
    , m_tickMilliseconds(tickMilliseconds)
    , m_limits(limits)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &CZaridoDovoServer::onConnectionRequest);
}

CZaridoDovoServer::~CZaridoDovoServer()
{
    DropAll();
    m_listener.close();
}

void CZaridoDovoServer::AddLog(const QString &msg)
{
    m_Log.Log(msg);
}

bool CZaridoDovoServer::StartServer(const QString &ipAddress, int port, int timeout, const QByteArray &password,
                                    bool allowSecureOnly, ZaridoDovo::Cipher cipher)
{
    m_LocalIP = ipAddress;
    m_LocalPort = port;
    m_Timeout = timeout;
    m_password = std::make_shared<const SecretBytes>(std::string_view(password.constData(), password.size()));
    m_judge.Configure(m_password, allowSecureOnly, cipher == ZaridoDovo::Cipher::Legacy);
    m_keys.Configure(m_password->Empty() ? nullptr : m_password);

    DropAll();
    m_listener.close();

    if (ipAddress.isEmpty()) {
        m_bindAddress = QHostAddress(QHostAddress::AnyIPv4);
    } else if (!m_bindAddress.setAddress(ipAddress)) {
        LogStartError(QStringLiteral("Not a valid IP address"));
        return m_Started;
    }
    if (port < 0 || port > 65535) {
        LogStartError(QStringLiteral("Not a valid port number"));
        return m_Started;
    }
    BeginListening();
    return m_Started;
}

void CZaridoDovoServer::StopServer()
{
    DropAll();
    m_listener.close();
    AddLog("Server stopped on " + m_LocalIP + ":" + QString::number(m_LocalPort));
}

void CZaridoDovoServer::RefuseMessage(const QByteArray &reply, const QString &reason)
{
    if (m_delivering)
        m_delivering->Refuse(reply, reason);
}

void CZaridoDovoServer::BeginListening()
{
    if (!m_listener.listen(m_bindAddress, static_cast<quint16>(m_LocalPort))) {
        LogStartError(m_listener.errorString());
        return;
    }
    m_LocalIP = m_listener.serverAddress().toString();
    m_LocalPort = m_listener.serverPort();
    m_Started = true;
    if (!m_replayFolder.isEmpty()
        && !m_journal.Open(m_replayFolder, m_LocalPort, m_replays, m_clock()))
        AddLog("Error: " + m_journal.errorString() + ": sealed messages are refused");
    const QString where = m_LocalIP + ":" + QString::number(m_LocalPort);
    AddLog(m_password->Empty() ? "Server started on " + where : "Secure server started on " + where);
}

void CZaridoDovoServer::LogStartError(const QString &description)
{
    AddLog("Error: " + description);
    AddLog("Error starting server on " + m_LocalIP + ":" + QString::number(m_LocalPort));
    m_Started = false;
}

void CZaridoDovoServer::DropAll()
{
    const QList<ZaridoDovoConnection *> connections = std::exchange(m_connections, {});
    for (ZaridoDovoConnection *connection : connections)
        Forget(connection);
    m_limitBurst = false;
}

void CZaridoDovoServer::onConnectionRequest()
{
    while (QTcpSocket *socket = m_listener.nextPendingConnection()) {
        Admit(socket);
        // A handler of Connected may have stopped or restarted the server.
        if (!m_listener.isListening())
            return;
    }
}

void CZaridoDovoServer::Admit(QTcpSocket *socket)
{
    const ZaridoDovoConnection::Terms terms{m_password, m_judge, &m_keys, &m_replays, m_clock,
                                            m_Timeout, m_tickMilliseconds, m_limits.frameDeadlineMilliseconds};
    auto *connection = new ZaridoDovoConnection(socket, terms, this);
    const QString peer = connection->Peer();

    bool dropped = false;
    while (CountFrom(peer) >= m_limits.perAddress && DropOldest(peer))
        dropped = true;
    while (m_connections.size() >= m_limits.total && DropOldest({}))
        dropped = true;
    if (dropped && !m_limitBurst)
        AddLog(QStringLiteral("Connection limit reached (%1 at once, %2 from one address): "
                              "the oldest unfinished connections make room")
                   .arg(m_limits.total)
                   .arg(m_limits.perAddress));
    m_limitBurst = dropped;

    m_connections.append(connection);
    connect(connection, &ZaridoDovoConnection::LogLine, this, &CZaridoDovoServer::AddLog);
    connect(connection, &ZaridoDovoConnection::Connected, this, &CZaridoDovoServer::Connected);
    connect(connection, &ZaridoDovoConnection::Disconnected, this, &CZaridoDovoServer::Disconnected);
    connect(connection, &ZaridoDovoConnection::Timeout, this, &CZaridoDovoServer::Timeout);
    connect(connection, &ZaridoDovoConnection::MessageError, this, &CZaridoDovoServer::MessageError);
    connect(connection, &ZaridoDovoConnection::MessageReceived, this,
            [this, connection](const QByteArray &message, const QString &from) {
                // A handler running an event loop of its own may see another delivery meanwhile.
                const QPointer<ZaridoDovoConnection> outer = std::exchange(m_delivering, connection);
                emit MessageReceived(message, from);
                m_delivering = outer;
            });
    connect(connection, &ZaridoDovoConnection::Ended, this, [this, connection] {
        m_connections.removeOne(connection);
        connection->deleteLater();
    });
    connection->Begin();
}

bool CZaridoDovoServer::DropOldest(const QString &address)
{
    ZaridoDovoConnection *oldest = nullptr;
    for (ZaridoDovoConnection *connection : std::as_const(m_connections)) {
        if (!address.isEmpty() && connection->Peer() != address)
            continue;
        if (!connection->FrameComplete()) {
            oldest = connection;
            break;
        }
        if (!oldest)
            oldest = connection;
    }
    if (!oldest)
        return false;
    m_connections.removeOne(oldest);
    Forget(oldest);
    return true;
}

qsizetype CZaridoDovoServer::CountFrom(const QString &address) const
{
    return std::count_if(m_connections.cbegin(), m_connections.cend(),
                         [&address](const ZaridoDovoConnection *connection) { return connection->Peer() == address; });
}

void CZaridoDovoServer::Forget(ZaridoDovoConnection *connection)
{
    connection->disconnect(this);
    connection->Drop();
    connection->deleteLater();
}
