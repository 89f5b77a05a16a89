#include "protocol/ZaridoDovoConnection.h"

#include "protocol/ZaridoDovoGlobal.h"

#include <QHostAddress>
#include <QTcpSocket>

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

ZaridoDovoConnection::ZaridoDovoConnection(QTcpSocket *socket, const Terms &terms, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_peer(PeerAddressOf(*socket))
    , m_password(terms.password)
    , m_judge(terms.judge)
    , m_Timeout(terms.timeout)
    , m_TicksLeft(terms.timeout)
    , m_tickMilliseconds(terms.tickMilliseconds)
    , m_Timer(this)
{
    socket->setParent(this);
    m_judge.Reset();
    m_frameDeadline.setSingleShot(true);
    m_frameDeadline.setInterval(terms.frameDeadlineMilliseconds);
    connect(&m_frameDeadline, &QTimer::timeout, this, &ZaridoDovoConnection::TimeOut);
    connect(&m_Timer, &CTimer::Timer, this, &ZaridoDovoConnection::Timer_Timer);
    connect(socket, &QTcpSocket::readyRead, this, &ZaridoDovoConnection::onDataArrival);
    connect(socket, &QTcpSocket::bytesWritten, this, &ZaridoDovoConnection::onSendProgress);
    connect(socket, &QTcpSocket::disconnected, this, &ZaridoDovoConnection::SocketClosed);
}

ZaridoDovoConnection::~ZaridoDovoConnection()
{
    // The socket's last signals must not reach a half-destroyed connection.
    if (m_socket)
        m_socket->disconnect(this);
}

void ZaridoDovoConnection::Begin()
{
    AddLog("Accepted connection " + m_peer);
    if (!Raise(&ZaridoDovoConnection::Connected, m_peer))
        return;
    m_Timer.SetInterval(m_tickMilliseconds);
    m_Timer.SetEnabled(true);
    m_frameDeadline.start();
}

void ZaridoDovoConnection::Refuse(const QByteArray &reply, const QString &reason)
{
    if (m_delivering)
        m_refusal.emplace(reply, reason);
}

void ZaridoDovoConnection::Drop()
{
    m_ended = true;
    CloseConnection();
}

void ZaridoDovoConnection::onDataArrival()
{
    if (!m_socket)
        return;
    const QByteArray data = m_socket->readAll();
    m_TicksLeft = m_Timeout;
    Act(m_judge.Feed(View(data)));
}

void ZaridoDovoConnection::Act(MessageJudge::Verdict verdict)
{
    using Verdict = MessageJudge::Verdict;
    if (verdict == Verdict::Wait)
        return;
    m_frameComplete = true;
    m_frameDeadline.stop();
    const QString reason = QString::fromStdString(m_judge.RefusalReason());
    switch (verdict) {
    case Verdict::Wait:
        return;
    case Verdict::NoMessage:
        // Accepted sockets know no host name and a look-up would block: the address stands in.
        if (Raise(&ZaridoDovoConnection::Disconnected, m_peer))
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

void ZaridoDovoConnection::FinishMessage()
{
    m_delivering = true;
    const bool goOn = Raise(&ZaridoDovoConnection::MessageReceived, QByteArray::fromStdString(m_judge.Text()), m_peer);
    m_delivering = false;
    if (!goOn)
        return;
    // The connection stays open until the reply has gone out (onSendProgress).
    if (m_refusal) {
        if (ConnectionUp())
            Send(View(m_refusal->first), false);
        AddLog("Error: " + m_refusal->second);
    } else if (ConnectionUp()) {
        Send(ZaridoDovo::ReplyOk, m_judge.ReplyEnciphered());
        AddLog(QStringLiteral("Message Finished - OK"));
    } else {
        AddLog(QStringLiteral("Message Finished"));
        return;
    }
    // Only now: the bytes going out may complete the send at once, and "Send Complete" comes last.
    Flush();
}

void ZaridoDovoConnection::RejectMessage(const QString &logText)
{
    CloseConnection();
    if (!Raise(&ZaridoDovoConnection::MessageError, InvalidMessage))
        return;
    AddLog("Error: " + logText);
    End();
}

void ZaridoDovoConnection::Send(std::string_view reply, bool enciphered)
{
    const EncodedFrame frame = WriteFrame(reply, enciphered ? View(m_password) : std::string_view());
    if (!m_socket || !frame.Ok())
        return;
    m_replySize = static_cast<qint64>(frame.bytes.size());
    m_replyWritten = 0;
    m_socket->write(frame.bytes.data(), m_replySize);
}

void ZaridoDovoConnection::Flush()
{
    if (m_socket)
        m_socket->flush();
}

void ZaridoDovoConnection::onSendProgress(qint64 bytes)
{
    m_TicksLeft = m_Timeout;
    if (m_replySize == 0 || m_ended)
        return;
    m_replyWritten += bytes;
    if (m_replyWritten < m_replySize)
        return;
    CloseConnection();
    AddLog(QStringLiteral("Send Complete"));
    End();
}

void ZaridoDovoConnection::SocketClosed()
{
    if (!m_socket || m_ended)
        return;
    // Data always arrives before the close; anything still buffered is judged all the same.
    const QByteArray rest = m_socket->readAll();
    CloseConnection();
    if (!Raise(&ZaridoDovoConnection::Disconnected, m_peer))
        return;
    AddLog(QStringLiteral("Socket closed"));

    // The socket is closed, so whatever the verdict, no reply goes out.
    MessageJudge::Verdict verdict = m_judge.Feed(View(rest));
    if (verdict == MessageJudge::Verdict::Wait)
        verdict = m_judge.PeerClosed();
    Act(verdict);
    End();
}

void ZaridoDovoConnection::QuickClose()
{
    CloseConnection();
    if (!Raise(&ZaridoDovoConnection::Disconnected, m_peer))
        return;
    AddLog(QStringLiteral("Socket quick closed"));
    End();
}

void ZaridoDovoConnection::Timer_Timer()
{
    if (!m_Timer.Enabled())
        return;
    if (m_TicksLeft > 0) {
        --m_TicksLeft;
        return;
    }
    TimeOut();
}

void ZaridoDovoConnection::TimeOut()
{
    if (m_ended)
        return;
    // Closed before anyone hears of it, so a handler that waits cannot be ticked into again.
    CloseConnection();
    AddLog(QStringLiteral("Timeout enabled"));
    if (!Raise(&ZaridoDovoConnection::Timeout, m_peer))
        return;
    End();
}

bool ZaridoDovoConnection::ConnectionUp() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void ZaridoDovoConnection::CloseConnection()
{
    m_Timer.SetEnabled(false);
    m_frameDeadline.stop();
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    if (!socket)
        return;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // A "BAD" or "MAXSIZE" reply was just handed over: let it out, but never wait long on
        // a peer that does not read. The socket outlives this connection meanwhile.
        socket->setParent(parent());
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(ReplyLingerMilliseconds, socket, &QAbstractSocket::abort);
        socket->disconnectFromHost();
        return;
    }
    // Deleted with this connection, which always follows.
    socket->abort();
}

void ZaridoDovoConnection::End()
{
    if (m_ended)
        return;
    m_ended = true;
    CloseConnection();
    emit Ended();
}
