#include "protocol/ZaridoDovoConnection.h"

#include "crypto/SealedFrame.h"
#include "protocol/WireFormat.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace {

// How long a refused connection may take to hand over its reply before it is cut.
constexpr int ReplyLingerMilliseconds = 10000;

const QString InvalidMessage = QStringLiteral("Invalid Message Received");

std::string_view View(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// What has arrived on the socket, in one buffer every connection of the thread shares: they run
// one at a time, and the judge has taken the bytes before anything else can run. A fresh buffer
// per data event would be mapped and touched anew each time, which costs more than the bytes.
std::string_view TakeArrived(QTcpSocket &socket)
{
    thread_local QByteArray arrived;
    const qint64 available = socket.bytesAvailable();
    if (available <= ZaridoDovo::MaxSealedLength && arrived.capacity() > 2 * ZaridoDovo::MaxSealedLength)
        arrived = QByteArray(); // what a flood left behind is not kept
    arrived.resize(available);
    arrived.resize(std::max<qint64>(0, socket.read(arrived.data(), arrived.size())));
    return View(arrived);
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
    , m_keys(terms.keys)
    , m_replays(terms.replays)
    , m_clock(terms.clock)
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
    ReleaseSpare();
}

void ZaridoDovoConnection::Begin(bool logAccept)
{
    if (logAccept)
        AddLog("Accepted connection " + m_peer);
    if (!Raise(&ZaridoDovoConnection::Connected, m_peer))
        return;
    m_Timer.SetInterval(m_tickMilliseconds);
    m_Timer.SetEnabled(true);
    m_frameDeadline.start();
}

void ZaridoDovoConnection::Refuse(const QByteArray &reply, const QString &reason)
{
    if (m_state == State::Delivering)
        m_refusal.emplace(reply, reason);
}

void ZaridoDovoConnection::Drop()
{
    m_state = State::Ended;
    CloseConnection();
}

void ZaridoDovoConnection::onDataArrival()
{
    if (!m_socket)
        return;
    const std::string_view data = TakeArrived(*m_socket);
    m_TicksLeft = m_Timeout;
    m_lastData = std::chrono::steady_clock::now();
    Act(m_judge.Feed(data));
}

void ZaridoDovoConnection::Act(MessageJudge::Verdict verdict)
{
    using Verdict = MessageJudge::Verdict;
    if (verdict == Verdict::Wait)
        return;
    m_state = State::Replying;
    if (verdict == Verdict::NeedKey) {
        // The idle and frame deadlines go on running while the key is derived.
        RequestKey();
        return;
    }
    m_frameDeadline.stop();
    switch (verdict) {
    case Verdict::Wait:
    case Verdict::NeedKey:
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
        RefuseWith(ZaridoDovo::ReplyMaxSize, ReplyMode::Plain);
        return;
    case Verdict::RefuseOverlong:
        RefuseWith(ZaridoDovo::ReplyBad, ReplyMode::Plain);
        return;
    case Verdict::RefuseUndecipherable:
        if (m_judge.NoPasswordNotice())
            AddLog(QStringLiteral("Secured message received with no password set."));
        RefuseWith(ZaridoDovo::ReplyBad, ReplyMode::Plain);
        return;
    case Verdict::RefuseReplay:
        RefuseWith(ZaridoDovo::ReplyReplay, ReplyMode::Sealed);
        return;
    case Verdict::RefuseStale:
        RefuseWith(ZaridoDovo::ReplyClock, ReplyMode::Sealed);
        return;
    case Verdict::RefuseUnrecorded:
        // The receiver's own failure: the sender may try again once it is mended.
        RefuseWith(ZaridoDovo::ReplyBusy, ReplyMode::Plain);
        return;
    }
}

void ZaridoDovoConnection::RefuseWith(std::string_view reply, ReplyMode mode)
{
    if (ConnectionUp())
        Send(reply, mode);
    RejectMessage(QString::fromStdString(m_judge.RefusalReason()), QString::fromStdString(m_judge.RefusalExplanation()));
}

void ZaridoDovoConnection::RefuseBusy(const QString &reason)
{
    if (ConnectionUp())
        Send(ZaridoDovo::ReplyBusy, ReplyMode::Plain);
    RejectMessage(reason, QStringLiteral("the receiver is busy deriving other senders' keys"));
}

void ZaridoDovoConnection::RequestKey()
{
    if (!m_keys || !m_replays || !m_clock) {
        RefuseBusy(QStringLiteral("Sealed message refused: no keys here"));
        return;
    }
    KeyStore::Key key;
    const auto done = [this](KeyStore::Key derived) { KeyArrived(std::move(derived)); };
    switch (m_keys->Request(m_judge.SealedSalt(), m_peer, this, done, &key)) {
    case KeyStore::Outcome::Ready:
        KeyArrived(std::move(key));
        return;
    case KeyStore::Outcome::Pending:
        m_state = State::AwaitingKey;
        // Read end-of-file closes a Qt socket: a sender that shuts its write side while the key
        // is derived would get no reply. A duplicate keeps the connection to answer it on.
        if (m_socket)
            m_spareDescriptor = ::fcntl(static_cast<int>(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        AddLog(QStringLiteral("Deriving the key of a new sender's salt"));
        return;
    case KeyStore::Outcome::Refused:
        RefuseBusy("Sealed message refused: " + m_keys->errorString());
        return;
    }
}

void ZaridoDovoConnection::KeyArrived(KeyStore::Key key)
{
    if (m_state == State::Ended) {
        ReleaseSpare();
        return;
    }
    const bool revived = !m_socket && Revive();
    ReleaseSpare();
    if (!key) {
        RefuseBusy(QStringLiteral("Sealed message refused: the key could not be derived"));
        return;
    }
    m_key = std::move(key);
    const MessageJudge::Verdict verdict = m_judge.OpenSealed(*m_key, *m_replays, m_clock());
    // A key that opened the frame is worth keeping, whatever became of the message.
    if (m_judge.ReplySealed())
        m_keys->Opened(m_judge.SealedSalt(), m_key);
    Act(verdict);
    // The reply to a peer that half-closed went out at once; the connection ends here.
    if (!m_socket || revived)
        End();
}

bool ZaridoDovoConnection::Revive()
{
    if (m_spareDescriptor < 0)
        return false;
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(m_spareDescriptor)) {
        delete socket;
        return false;
    }
    m_spareDescriptor = -1; // the socket's now
    m_socket = socket;
    connect(socket, &QTcpSocket::bytesWritten, this, &ZaridoDovoConnection::onSendProgress);
    return true;
}

void ZaridoDovoConnection::ReleaseSpare()
{
    if (m_spareDescriptor >= 0)
        ::close(m_spareDescriptor);
    m_spareDescriptor = -1;
}

void ZaridoDovoConnection::FinishMessage()
{
    m_state = State::Delivering;
    if (!Raise(&ZaridoDovoConnection::MessageReceived, m_judge.Message(), m_peer))
        return;
    m_state = State::Replying;
    // The connection stays open until the reply has gone out (onSendProgress).
    if (m_refusal) {
        if (ConnectionUp())
            Send(View(m_refusal->first), ReplyMode::Plain);
        AddLog("Error: " + m_refusal->second);
    } else if (ConnectionUp()) {
        Send(ZaridoDovo::ReplyOk, ModeOfReply());
        AddLog(QStringLiteral("Message Finished - OK"));
    } else {
        AddLog(QStringLiteral("Message Finished"));
        return;
    }
    // Only now: the bytes going out may complete the send at once, and "Send Complete" comes last.
    Flush();
}

void ZaridoDovoConnection::RejectMessage(const QString &logText, const QString &explanation)
{
    CloseConnection();
    if (!Raise(&ZaridoDovoConnection::MessageError, InvalidMessage + QStringLiteral(": ") + explanation))
        return;
    AddLog("Error: " + logText);
    End();
}

ZaridoDovoConnection::ReplyMode ZaridoDovoConnection::ModeOfReply() const
{
    if (m_judge.ReplySealed() && m_key)
        return ReplyMode::Sealed;
    return m_judge.ReplyEnciphered() ? ReplyMode::Legacy : ReplyMode::Plain;
}

void ZaridoDovoConnection::Send(std::string_view reply, ReplyMode mode)
{
    std::optional<std::string> frame;
    switch (mode) {
    case ReplyMode::Plain:
        frame = WriteFrame(reply, {});
        break;
    case ReplyMode::Legacy:
        frame = WriteFrame(reply, m_password ? m_password->View() : std::string_view());
        break;
    case ReplyMode::Sealed:
        // Sealed with the request's key and bound to its nonce: it answers that request only.
        frame = SealedFrame::Seal(*m_key, m_judge.SealedSalt(), SealedFrame::NewNonce(), m_clock(), reply,
                                  m_judge.RequestNonce());
        break;
    }
    if (!m_socket || !frame || frame->empty())
        return;
    m_replySize = static_cast<qint64>(frame->size());
    m_replyWritten = 0;
    m_socket->write(frame->data(), m_replySize);
}

void ZaridoDovoConnection::Flush()
{
    if (m_socket)
        m_socket->flush();
}

void ZaridoDovoConnection::onSendProgress(qint64 bytes)
{
    m_TicksLeft = m_Timeout;
    if (m_replySize == 0 || m_state == State::Ended)
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
    if (!m_socket || m_state == State::Ended)
        return;
    // Data always arrives before the close; anything still buffered is judged all the same.
    const QByteArray rest = m_socket->readAll();
    CloseConnection();
    if (!Raise(&ZaridoDovoConnection::Disconnected, m_peer))
        return;
    AddLog(QStringLiteral("Socket closed"));

    // The socket is closed, so whatever the verdict, no reply goes out.
    MessageJudge::Verdict verdict = m_judge.Feed(View(rest));
    if (verdict == MessageJudge::Verdict::Wait && m_state != State::AwaitingKey)
        verdict = m_judge.PeerClosed();
    Act(verdict);
    // A sealed message whose key is being derived is still delivered when the key comes.
    if (m_state != State::AwaitingKey)
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
    if (m_state == State::Ended)
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
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    CloseConnection();
    ReleaseSpare();
    emit Ended();
}
