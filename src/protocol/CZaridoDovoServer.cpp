#include "protocol/CZaridoDovoServer.h"

#include "protocol/ZaridoDovoGlobal.h"

#include <QTcpSocket>
#include <QTimer>

#include <string_view>

namespace {

// How long a refused connection may take to hand over its reply before it is cut.
constexpr int ReplyLingerMilliseconds = 10000;

const QString InvalidMessage = QStringLiteral("Invalid Message Received");

std::string_view View(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Peers of a dual-stack listener arrive as IPv4-mapped IPv6 addresses; show them as IPv4.
QString PeerAddressOf(const QTcpSocket &socket)
{
    const QHostAddress address = socket.peerAddress();
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4).toString() : address.toString();
}

} // namespace

CZaridoDovoServer::CZaridoDovoServer(QObject *parent, int tickMilliseconds)
    : QObject(parent)
    , m_tickMilliseconds(tickMilliseconds)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &CZaridoDovoServer::onConnectionRequest);
    connect(&m_Timer, &CTimer::Timer, this, &CZaridoDovoServer::Timer_Timer);
}

CZaridoDovoServer::~CZaridoDovoServer()
{
    // The connection's last signals must not reach a half-destroyed endpoint.
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->abort();
    }
    m_listener.close();
}

void CZaridoDovoServer::AddLog(const QString &msg)
{
    m_Log.Log(msg);
}

bool CZaridoDovoServer::StartServer(const QString &ipAddress, int port, int timeout, const QByteArray &password,
                                    bool allowSecureOnly)
{
    ++m_epoch;
    m_LocalIP = ipAddress;
    m_LocalPort = port;
    m_Timeout = timeout;
    m_TicksLeft = timeout;
    m_AllowSecureOnly = allowSecureOnly;
    m_password = password;
    m_judge.Configure(View(password), allowSecureOnly);

    CloseConnection();
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
    ++m_epoch;
    CloseConnection();
    m_listener.close();
    AddLog("Server stopped on " + m_LocalIP + ":" + QString::number(m_LocalPort));
}

void CZaridoDovoServer::BeginListening()
{
    m_Timer.SetEnabled(false);
    m_judge.Reset();
    m_replySize = 0;
    m_replyWritten = 0;
    // A peer's close that turns out to carry no message comes back here a second time;
    // the listener is up already and that is no error.
    if (m_listener.isListening())
        return;
    if (!m_listener.listen(m_bindAddress, static_cast<quint16>(m_LocalPort))) {
        LogStartError(m_listener.errorString());
        return;
    }
    m_LocalIP = m_listener.serverAddress().toString();
    m_LocalPort = m_listener.serverPort();
    m_Started = true;
    const QString where = m_LocalIP + ":" + QString::number(m_LocalPort);
    AddLog(m_password.isEmpty() ? "Server started on " + where : "Secure server started on " + where);
}

void CZaridoDovoServer::LogStartError(const QString &description)
{
    AddLog("Error: " + description);
    AddLog("Error starting server on " + m_LocalIP + ":" + QString::number(m_LocalPort));
    m_Started = false;
}

void CZaridoDovoServer::onConnectionRequest()
{
    QTcpSocket *socket = m_listener.nextPendingConnection();
    if (!socket)
        return;
    // While this connection lasts nothing listens, so the system refuses further attempts.
    m_listener.close();
    socket->setParent(this);
    m_connection = socket;
    m_peer = PeerAddressOf(*socket);
    m_judge.Reset();
    m_replySize = 0;
    m_replyWritten = 0;
    // Every connection gets the full idle allowance, also after one that timed out.
    m_TicksLeft = m_Timeout;
    connect(socket, &QTcpSocket::readyRead, this, &CZaridoDovoServer::onDataArrival);
    connect(socket, &QTcpSocket::bytesWritten, this, &CZaridoDovoServer::onSendProgress);
    connect(socket, &QTcpSocket::disconnected, this, &CZaridoDovoServer::SocketClosed);

    AddLog("Accepted connection " + m_peer);
    if (!Raise(&CZaridoDovoServer::Connected, m_peer))
        return;
    m_Timer.SetInterval(m_tickMilliseconds);
    m_Timer.SetEnabled(true);
}

void CZaridoDovoServer::onDataArrival()
{
    if (!m_connection)
        return;
    const QByteArray data = m_connection->readAll();
    m_TicksLeft = m_Timeout;
    Act(m_judge.Feed(View(data)));
}

void CZaridoDovoServer::Act(MessageJudge::Verdict verdict)
{
    using Verdict = MessageJudge::Verdict;
    const QString reason = QString::fromStdString(m_judge.RefusalReason());
    switch (verdict) {
    case Verdict::Wait:
        return;
    case Verdict::NoMessage:
        // Accepted sockets know no host name and a look-up would block: the address stands in.
        if (Raise(&CZaridoDovoServer::Disconnected, m_peer))
            QuickClose();
        return;
    case Verdict::Deliver:
        FinishMessage();
        return;
    case Verdict::RefuseOversized:
        if (ConnectionUp())
            Send(ZaridoDovo::ReplyMaxSize, m_judge.ReplyEnciphered());
        RejectMessage(reason);
        return;
    case Verdict::RefuseOverlong:
        if (ConnectionUp())
            Send(ZaridoDovo::ReplyBad, m_judge.ReplyEnciphered());
        RejectMessage(reason);
        return;
    case Verdict::RefuseUndecipherable:
        if (m_judge.NoPasswordNotice())
            AddLog(QStringLiteral("Secured message received with no password set."));
        if (ConnectionUp())
            Send(ZaridoDovo::ReplyBad, false);
        RejectMessage(reason);
        return;
    }
}

void CZaridoDovoServer::FinishMessage()
{
    const QByteArray text = QByteArray::fromStdString(m_judge.Text());
    m_CurrentMessage.Create(text, m_peer.toUtf8(), m_peer.toUtf8());
    if (!Raise(&CZaridoDovoServer::MessageReceived, text, m_peer))
        return;
    // The connection stays open until the reply has gone out (onSendProgress).
    if (ConnectionUp()) {
        Send(ZaridoDovo::ReplyOk, m_judge.ReplyEnciphered());
        AddLog(QStringLiteral("Message Finished - OK"));
    } else {
        AddLog(QStringLiteral("Message Finished"));
    }
}

void CZaridoDovoServer::RejectMessage(const QString &logText)
{
    CloseConnection();
    if (!Raise(&CZaridoDovoServer::MessageError, InvalidMessage))
        return;
    AddLog("Error: " + logText);
    BeginListening();
}

void CZaridoDovoServer::Send(std::string_view reply, bool enciphered)
{
    const EncodedFrame frame = WriteFrame(reply, enciphered ? View(m_password) : std::string_view());
    if (!m_connection || !frame.Ok())
        return;
    m_replySize = static_cast<qint64>(frame.bytes.size());
    m_replyWritten = 0;
    m_connection->write(frame.bytes.data(), m_replySize);
}

void CZaridoDovoServer::onSendProgress(qint64 bytes)
{
    m_TicksLeft = m_Timeout;
    if (m_replySize == 0)
        return;
    m_replyWritten += bytes;
    if (m_replyWritten < m_replySize)
        return;
    CloseConnection();
    AddLog(QStringLiteral("Send Complete"));
    BeginListening();
}

void CZaridoDovoServer::SocketClosed()
{
    if (!m_connection)
        return;
    // Data always arrives before the close; anything still buffered is judged all the same.
    const QByteArray rest = m_connection->readAll();
    CloseConnection();
    if (!Raise(&CZaridoDovoServer::Disconnected, m_peer))
        return;
    AddLog(QStringLiteral("Socket closed"));

    // The socket is closed, so whatever the verdict, no reply goes out.
    MessageJudge::Verdict verdict = m_judge.Feed(View(rest));
    if (verdict == MessageJudge::Verdict::Wait)
        verdict = m_judge.PeerClosed();
    const quint64 epoch = m_epoch;
    Act(verdict);
    if (epoch != m_epoch)
        return;
    BeginListening();
}

void CZaridoDovoServer::QuickClose()
{
    CloseConnection();
    if (!Raise(&CZaridoDovoServer::Disconnected, m_peer))
        return;
    AddLog(QStringLiteral("Socket quick closed"));
    BeginListening();
}

void CZaridoDovoServer::Timer_Timer()
{
    if (!m_Timer.Enabled())
        return;
    if (m_TicksLeft > 0) {
        --m_TicksLeft;
        return;
    }
    // Closed before anyone hears of it, so a handler that waits cannot be ticked into again.
    CloseConnection();
    AddLog(QStringLiteral("Timeout enabled"));
    if (!Raise(&CZaridoDovoServer::Timeout, m_peer))
        return;
    BeginListening();
}

bool CZaridoDovoServer::ConnectionUp() const
{
    return m_connection && m_connection->state() == QAbstractSocket::ConnectedState;
}

void CZaridoDovoServer::CloseConnection()
{
    m_Timer.SetEnabled(false);
    QTcpSocket *socket = m_connection;
    m_connection = nullptr;
    if (!socket)
        return;
    ++m_epoch;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // A "BAD" or "MAXSIZE" reply was just handed over: let it out, but never wait long on
        // a peer that does not read.
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(ReplyLingerMilliseconds, socket, &QAbstractSocket::abort);
        socket->disconnectFromHost();
        return;
    }
    socket->abort();
    socket->deleteLater();
}
