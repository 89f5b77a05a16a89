#include "protocol/CZaridoDovoClient.h"

#include "crypto/Encrypt.h"
#include "crypto/PasswordKdf.h"
#include "crypto/SealedFrame.h"
#include "protocol/SaltFile.h"

#include <QDateTime>
#include <QTcpSocket>

#include <string_view>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

std::string_view AsView(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray AsBytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// What the system holds for the connection that Qt has not read yet.
QByteArray UnreadBytes(int fd)
{
    QByteArray bytes;
    if (fd < 0)
        return bytes;
    char chunk[4096];
    // A reply frame is small; more than the largest frame is not a reply anyway.
    while (bytes.size() <= qsizetype(ZaridoDovo::HeaderSize) + ZaridoDovo::MaxMessageLength) {
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got <= 0)
            break;
        bytes.append(chunk, static_cast<qsizetype>(got));
    }
    return bytes;
}

} // namespace

CZaridoDovoClient::CZaridoDovoClient(QObject *parent)
    : CZaridoDovoClient(Deadlines(), parent)
{
}

CZaridoDovoClient::CZaridoDovoClient(const Deadlines &deadlines, QObject *parent)
    : QObject(parent)
    , m_deriver([](const SecretBytes &password, const std::string &salt) {
        return PasswordKdf(PasswordKdf::Interactive()).Derive(password, salt);
    })
    , m_salt(PasswordKdf::NewSalt())
    , m_deadlines(deadlines)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &CZaridoDovoClient::onDeadline);
}

CZaridoDovoClient::~CZaridoDovoClient()
{
    // The socket's last signals must not reach a half-destroyed endpoint.
    DropSocket();
}

void CZaridoDovoClient::SetSourceAddress(const QString &address)
{
    m_source = QHostAddress(address);
    const bool any = m_source == QHostAddress(QHostAddress::AnyIPv4) || m_source == QHostAddress(QHostAddress::AnyIPv6);
    if (any)
        m_source.clear();
}

void CZaridoDovoClient::SetSaltFile(const QString &path)
{
    std::string salt = SaltFile::Load(path);
    if (salt == m_salt)
        return;
    m_salt = std::move(salt);
    m_key.reset(); // derived with the other salt
    m_keyFor.reset();
}

void CZaridoDovoClient::AddLog(const QString &msg)
{
    m_Log.Log(msg);
}

QString CZaridoDovoClient::Destination() const
{
    return m_IP_Address + ":" + QString::number(m_Port);
}

void CZaridoDovoClient::SendMessage(const QString &ipAddress, int port, const QByteArray &message,
                                    const QByteArray &password, ZaridoDovo::Cipher cipher)
{
    SendMessage(ipAddress, port, message, std::make_shared<const SecretBytes>(AsView(password)), cipher);
}

void CZaridoDovoClient::SendMessage(const QString &ipAddress, int port, const QByteArray &message,
                                    std::shared_ptr<const SecretBytes> password, ZaridoDovo::Cipher cipher)
{
    m_StartTicks.start();
    ++m_epoch;
    m_IP_Address = ipAddress;
    m_Port = port;
    m_password = password ? std::move(password) : std::make_shared<const SecretBytes>();
    m_cipher = cipher;
    m_requestNonce.clear();
    m_reader.Reset();
    m_replyBytes = 0;
    m_answered = false;
    m_frame.clear();
    m_awaitingKey = false;
    m_pending.clear();

    if (ipAddress.isEmpty()) {
        AddLog(QStringLiteral("No IP Address specified to send message to"));
        return;
    }
    // Refused here rather than sent to a receiver that would drop it without a word.
    QString refusal;
    if (message.isEmpty()) {
        refusal = tr("Nothing was sent: there is nothing to send");
    } else if (message.size() > ZaridoDovo::MaxFrameLength
               || (!m_password->Empty() && cipher == ZaridoDovo::Cipher::Sealed
                   && static_cast<std::size_t>(message.size()) > SealedFrame::MaxText)) {
        refusal = tr("Nothing was sent: the text is %1 bytes, too long for one message "
                     "(the receiver takes at most 1 MiB)")
                      .arg(message.size());
    }
    if (!refusal.isEmpty()) {
        DropSocket();
        AddLog("Error: " + refusal);
        emit NotSent(refusal);
        return;
    }
    m_sentBytes = message.size();
    DropSocket();
    const bool sealed = !m_password->Empty() && cipher == ZaridoDovo::Cipher::Sealed;
    if (sealed && !(m_key && m_keyFor && m_keyFor->Equals(m_password->View()))) {
        DeriveThenDispatch(message);
        return;
    }
    Dispatch(message);
}

void CZaridoDovoClient::DeriveThenDispatch(const QByteArray &message)
{
    m_pending = message;
    m_awaitingKey = true;
    // Sends made while the key of this password is derived wait for that one derivation.
    if (m_derivingFor && m_derivingFor->Equals(m_password->View()))
        return;
    AddLog(QStringLiteral("Deriving the sending key"));
    m_key.reset();
    m_keyFor.reset();
    const std::shared_ptr<const SecretBytes> derivedFor = m_password;
    const std::string salt = m_salt;
    m_derivingFor = derivedFor;
    KeyStore::Derive(m_deriver, derivedFor, salt, this, [this, derivedFor, salt](KeyStore::Key key) {
        KeyDerived(derivedFor, salt, std::move(key));
    });
}

void CZaridoDovoClient::KeyDerived(const std::shared_ptr<const SecretBytes> &derivedFor, const std::string &salt,
                                   KeyStore::Key key)
{
    if (m_derivingFor == derivedFor)
        m_derivingFor.reset();
    // Kept only while the password and the salt are still the ones it was derived from.
    if (salt != m_salt || !m_password->Equals(derivedFor->View())) {
        if (m_awaitingKey && !m_derivingFor)
            DeriveThenDispatch(m_pending);
        return;
    }
    if (key) {
        m_key = std::move(key);
        m_keyFor = derivedFor;
    }
    if (!m_awaitingKey)
        return;
    m_awaitingKey = false;
    const QByteArray message = std::exchange(m_pending, QByteArray());
    if (!m_key) {
        const QString reason = tr("Nothing was sent: the sending key could not be derived");
        AddLog("Error: " + reason);
        emit NotSent(reason);
        return;
    }
    Dispatch(message);
}

void CZaridoDovoClient::Dispatch(const QByteArray &message)
{
    const QString ipAddress = m_IP_Address;
    const int port = m_Port;
    if (m_password->Empty() || m_cipher == ZaridoDovo::Cipher::Legacy) {
        m_frame = WriteFrame(AsView(message), m_password->View()).value_or(std::string()); // its length checked before
    } else {
        m_requestNonce = SealedFrame::NewNonce();
        m_frame = SealedFrame::Seal(*m_key, m_salt, m_requestNonce, QDateTime::currentSecsSinceEpoch(), AsView(message));
    }

    if (port < 0 || port > 65535) {
        AddLog("Error connecting to " + Destination());
        return;
    }
    m_socket = new QTcpSocket(this);
    // Bound before its signals are connected: an address gone away is no failed send.
    const QHostAddress destination(ipAddress);
    const bool bindable = destination.protocol() == m_source.protocol()
        && (destination.isLoopback() || !m_source.isLoopback());
    if (!m_source.isNull() && bindable && !m_socket->bind(m_source, 0))
        AddLog("Sending from any address: " + m_source.toString() + " is not available (" + m_socket->errorString() + ")");
    connect(m_socket, &QTcpSocket::connected, this, &CZaridoDovoClient::onConnect);
    connect(m_socket, &QTcpSocket::readyRead, this, &CZaridoDovoClient::onDataArrival);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &CZaridoDovoClient::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &CZaridoDovoClient::onClose);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &CZaridoDovoClient::onError);
    // Logged before connecting: some failures are reported from inside connectToHost.
    AddLog("Connecting to " + Destination());
    m_deadline.start(m_deadlines.connectMilliseconds);
    m_socket->connectToHost(ipAddress, static_cast<quint16>(port));
}

void CZaridoDovoClient::onConnect()
{
    // When a write fails because the peer reset the connection, Qt closes its descriptor at
    // once, unread data and all, though the peer's reply may be waiting there. A second
    // descriptor keeps that reply readable until the send is over.
    m_spareDescriptor = ::fcntl(static_cast<int>(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    AddLog("Connect on " + Destination());
    SendPending();
}

void CZaridoDovoClient::SendPending()
{
    if (!m_socket)
        return;
    m_socket->write(m_frame.data(), static_cast<qint64>(m_frame.size()));
    m_frame = std::string(); // the socket holds its own copy now
    m_deadline.start(m_deadlines.replyMilliseconds);
    AddLog(QStringLiteral("Message sent"));
}

void CZaridoDovoClient::onBytesWritten()
{
    // A large frame may take long to go out; the wait for the reply counts from its last byte.
    if (m_socket && !m_answered)
        m_deadline.start(m_deadlines.replyMilliseconds);
}

void CZaridoDovoClient::onDataArrival()
{
    if (!m_socket)
        return;
    const QByteArray data = m_socket->readAll();
    if (data.isEmpty())
        return;
    m_replyBytes += data.size();
    CheckReply(m_reader.Feed(AsView(data)));
}

void CZaridoDovoClient::CheckReply(FrameReader::Status status)
{
    switch (status) {
    case FrameReader::Status::NeedMore:
        return;
    case FrameReader::Status::Oversized:
        RejectReply(QStringLiteral("Invalid Message Size"));
        return;
    case FrameReader::Status::Overlong:
        RejectReply(QStringLiteral("Invalid Message Received"));
        return;
    case FrameReader::Status::Complete:
        break;
    }
    if (!m_requestNonce.empty()) {
        // A sealed message is answered "OK" only by a reply that opens with its key and is bound
        // to its nonce; a plain refusal ("BAD" for a wrong password) is shown, but never as success.
        if (m_reader.Tag() == ZaridoDovo::SealedTag) {
            const auto opened = SealedFrame::Open(*m_key, m_reader.Header(), m_reader.Payload(), m_requestNonce);
            if (!opened) {
                RejectReply(QStringLiteral("Sealed reply does not open: forged, altered or for another message"));
                return;
            }
            EvaluateReply(AsBytes(opened->text));
            return;
        }
        if (m_reader.Tag() != ZaridoDovo::PlainTag || AsView(AsBytes(m_reader.Payload())) == ZaridoDovo::ReplyOk) {
            RejectReply(QStringLiteral("Unsealed reply to a sealed message"));
            return;
        }
        EvaluateReply(AsBytes(m_reader.Payload()));
        return;
    }
    // The reply's tag is not checked: a reply that does not decipher cannot read "OK" either.
    const bool enciphered = m_reader.Tag() != ZaridoDovo::PlainTag && !m_password->Empty();
    EvaluateReply(AsBytes(enciphered ? CryptString(m_reader.Payload(), m_password->View()) : m_reader.Payload()));
}

void CZaridoDovoClient::EvaluateReply(const QByteArray &reply)
{
    // The connection stays open; a further frame from the peer is judged as a new reply.
    m_reader.Reset();
    m_replyBytes = 0;
    m_answered = true;
    m_deadline.stop();
    if (AsView(reply) == ZaridoDovo::ReplyOk) {
        emit MessageSent(static_cast<int>(m_StartTicks.elapsed()));
        AddLog(QStringLiteral("OK Message recv"));
    } else {
        emit MessageError(reply);
        AddLog("ELSE Message recv [" + QString::fromUtf8(reply) + "]");
    }
}

void CZaridoDovoClient::RejectReply(const QString &logText)
{
    DropSocket();
    emit MessageError(AsBytes(std::string(ZaridoDovo::InvalidReply)));
    AddLog("Error: " + logText);
}

// The peer closed or reset the connection. Whatever it answered before that still counts:
// a receiver that refuses a large upload answers and then drops the rest, which reaches
// this side as a reset.
void CZaridoDovoClient::onClose()
{
    if (!m_socket)
        return;
    const quint64 epoch = m_epoch;
    const QByteArray rest = m_socket->readAll() + UnreadBytes(m_spareDescriptor);
    if (!rest.isEmpty()) {
        m_replyBytes += rest.size();
        CheckReply(m_reader.Feed(AsView(rest)));
        if (epoch != m_epoch || !m_socket)
            return;
    }
    DropSocket();
    const QString ip = m_IP_Address;
    const QString destination = Destination();
    if (m_answered) {
        AddLog(QStringLiteral("Would call Verify Here..."));
    } else {
        const QString reason = m_replyBytes == 0
            ? tr("no answer from %1: the connection ended before a reply").arg(destination)
            : tr("no answer from %1: the connection ended %2 bytes into a reply").arg(destination).arg(m_replyBytes);
        m_reader.Reset();
        m_replyBytes = 0;
        emit Error(static_cast<int>(QAbstractSocket::RemoteHostClosedError), reason);
        if (epoch != m_epoch)
            return;
        AddLog("Socket Error: " + reason);
    }
    AddLog("Closed " + destination);
    emit Disconnected(ip);
}

void CZaridoDovoClient::onError()
{
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    // A close or a reset by the peer, whichever signal Qt gives for it first.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onClose();
        return;
    }
    Fail(error, m_socket->errorString());
}

void CZaridoDovoClient::onDeadline()
{
    if (!m_socket)
        return;
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        // The text Qt itself gives this error.
        Fail(QAbstractSocket::SocketTimeoutError, QStringLiteral("Socket operation timed out"));
        return;
    }
    Fail(QAbstractSocket::SocketTimeoutError,
         tr("no answer from %1 within %2 seconds").arg(Destination()).arg(m_deadlines.replyMilliseconds / 1000.0));
}

void CZaridoDovoClient::Fail(QAbstractSocket::SocketError error, const QString &reason)
{
    DropSocket();
    m_reader.Reset();
    m_replyBytes = 0;
    emit Error(static_cast<int>(error), reason);
    AddLog("Socket Error: " + reason);
}

void CZaridoDovoClient::DropSocket()
{
    m_deadline.stop();
    if (m_spareDescriptor >= 0) {
        ::close(m_spareDescriptor);
        m_spareDescriptor = -1;
    }
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
