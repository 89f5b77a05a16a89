#include "protocol/CZaridoDovoServer.h"

#include "protocol/ZaridoDovoConnection.h"

#include <QDateTime>
#include <QTcpSocket>

#include <algorithm>
#include <tuple>
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
    m_dropReport.setSingleShot(true);
    m_dropReport.setInterval(m_limits.dropReportMilliseconds);
    connect(&m_dropReport, &QTimer::timeout, this, &CZaridoDovoServer::DropReportDue);
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
    return StartServer(ipAddress, port, timeout,
                       std::make_shared<const SecretBytes>(std::string_view(password.constData(), password.size())),
                       allowSecureOnly, cipher);
}

bool CZaridoDovoServer::StartServer(const QString &ipAddress, int port, int timeout,
                                    std::shared_ptr<const SecretBytes> password, bool allowSecureOnly,
                                    ZaridoDovo::Cipher cipher)
{
    m_LocalIP = ipAddress;
    m_LocalPort = port;
    m_Timeout = timeout;
    m_password = password ? std::move(password) : std::make_shared<const SecretBytes>();
    m_judge.Configure(m_password, allowSecureOnly, cipher == ZaridoDovo::Cipher::Legacy);
    m_keys.Configure(m_password->Empty() ? nullptr : m_password);

    EndDropBurst();
    DropAll();
    m_listener.close();

    // Both IP versions by default: a port half held would leave the other half to any local user.
    m_everyAddress = ipAddress.isEmpty();
    if (m_everyAddress) {
        m_bindAddress = QHostAddress(QHostAddress::Any);
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
    EndDropBurst();
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
    const auto port = static_cast<quint16>(m_LocalPort);
    bool listening = m_listener.listen(m_bindAddress, port);
    // A machine without IPv6 still has every IPv4 address; a port taken on either side is not retried.
    if (!listening && m_everyAddress && m_listener.serverError() != QAbstractSocket::AddressInUseError)
        listening = m_listener.listen(QHostAddress::AnyIPv4, port);
    if (!listening) {
        LogStartError(m_listener.errorString());
        return;
    }
    m_LocalIP = m_everyAddress ? QHostAddress(QHostAddress::AnyIPv4).toString() : m_listener.serverAddress().toString();
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
    // Every address is named as a started server names it, not left blank.
    const QString where = m_LocalIP.isEmpty() ? QHostAddress(QHostAddress::AnyIPv4).toString() : m_LocalIP;
    AddLog("Error starting server on " + where + ":" + QString::number(m_LocalPort));
    m_Started = false;
}

void CZaridoDovoServer::DropAll()
{
    const QList<ZaridoDovoConnection *> connections = std::exchange(m_connections, {});
    for (ZaridoDovoConnection *connection : connections)
        Forget(connection);
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

    while (CountFrom(peer) >= m_limits.perAddress && DropForRoom(peer)) {
    }
    while (m_connections.size() >= m_limits.total && DropForRoom({})) {
    }
    if (m_limitBurst)
        ++m_acceptedQuietly;

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
    connection->Begin(!m_limitBurst);
}

bool CZaridoDovoServer::DropForRoom(const QString &address)
{
    QHash<QString, int> held;
    for (const ZaridoDovoConnection *connection : std::as_const(m_connections))
        ++held[connection->Peer()];
    // Smallest first: the most held by its address, no frame yet, idle longest.
    const auto rank = [&held](const ZaridoDovoConnection *connection) {
        return std::tuple(-held.value(connection->Peer()), connection->FrameComplete(), connection->LastData());
    };
    ZaridoDovoConnection *victim = nullptr;
    for (ZaridoDovoConnection *connection : std::as_const(m_connections)) {
        if (!address.isEmpty() && connection->Peer() != address)
            continue;
        if (!victim || rank(connection) < rank(victim))
            victim = connection;
    }
    if (!victim)
        return false;
    ++m_dropped;
    ++m_droppedFrom[victim->Peer()];
    m_limitBurst = true;
    if (!m_dropReport.isActive())
        m_dropReport.start();
    m_connections.removeOne(victim);
    Forget(victim);
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

void CZaridoDovoServer::DropReportDue()
{
    if (m_dropped == 0) {
        m_limitBurst = false;
        m_acceptedQuietly = 0;
        return;
    }
    ReportDrops();
    m_dropReport.start();
}

void CZaridoDovoServer::ReportDrops()
{
    const auto busiest = std::max_element(m_droppedFrom.cbegin(), m_droppedFrom.cend());
    AddLog(QStringLiteral("Connection limit reached (%1 at once, %2 from one address): dropped %3 to make "
                          "room, %4 of them from %5; accepted %6 meanwhile")
               .arg(m_limits.total)
               .arg(m_limits.perAddress)
               .arg(m_dropped)
               .arg(busiest.value())
               .arg(busiest.key())
               .arg(m_acceptedQuietly));
    m_dropped = 0;
    m_acceptedQuietly = 0;
    m_droppedFrom.clear();
}

void CZaridoDovoServer::EndDropBurst()
{
    m_dropReport.stop();
    if (m_dropped > 0)
        ReportDrops();
    m_limitBurst = false;
}
