#include "protocol/CZaridoDovoClient.h"

#include "crypto/Encrypt.h"
#include "protocol/ZaridoDovoGlobal.h"

#include <QTcpSocket>

#include <string_view>
#include <utility>

namespace {

std::string_view View(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray Bytes(const std::string &text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CZaridoDovoClient::CZaridoDovoClient(QObject *parent)
    : QObject(parent)
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &CZaridoDovoClient::onConnectTimeout);
}

CZaridoDovoClient::~CZaridoDovoClient()
{
    // The socket's last signals must not reach a half-destroyed endpoint.
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
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
                                    const QByteArray &password)
{
    m_StartTicks.start();
    ++m_epoch;
    m_IP_Address = ipAddress;
    m_Port = port;
    m_password = password;
    m_reader.Reset();
    m_replyBytes = 0;
    m_frame.clear();

    if (ipAddress.isEmpty()) {
        AddLog(QStringLiteral("No IP Address specified to send message to"));
        return;
    }
    // A text the length field cannot express would go out with a wrong length: refuse it.
    EncodedFrame frame = WriteFrame(View(message), View(password));
    if (!frame.Ok()) {
        AddLog("Error: " + QString::fromStdString(frame.error));
        emit MessageError(Bytes(frame.error));
        return;
    }
    m_frame = std::move(frame.bytes);

    DropSocket();
    if (port < 0 || port > 65535) {
        AddLog("Error connecting to " + Destination());
        return;
    }
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &CZaridoDovoClient::onConnect);
    connect(m_socket, &QTcpSocket::readyRead, this, &CZaridoDovoClient::onDataArrival);
    connect(m_socket, &QTcpSocket::disconnected, this, &CZaridoDovoClient::onClose);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &CZaridoDovoClient::onError);
    // Logged before connecting: some failures are reported from inside connectToHost.
    AddLog("Connecting to " + Destination());
    m_connectTimer.start(m_connectTimeout);
    m_socket->connectToHost(ipAddress, static_cast<quint16>(port));
}

void CZaridoDovoClient::onConnect()
{
    m_connectTimer.stop();
    AddLog("Connect on " + Destination());
    SendPending();
}

void CZaridoDovoClient::SendPending()
{
    if (!m_socket)
        return;
    m_socket->write(m_frame.data(), static_cast<qint64>(m_frame.size()));
    m_frame = std::string(); // the socket holds its own copy now
    AddLog(QStringLiteral("Message sent"));
}

void CZaridoDovoClient::onDataArrival()
{
    if (!m_socket)
        return;
    const QByteArray data = m_socket->readAll();
    if (data.isEmpty())
        return;
    m_replyBytes += data.size();
    CheckReply(m_reader.Feed(View(data)));
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
    // The reply's tag is not checked: a reply that does not decipher cannot read "OK" either.
    const bool enciphered = m_reader.Tag() != ZaridoDovo::PlainTag && !m_password.isEmpty();
    EvaluateReply(Bytes(enciphered ? CryptString(m_reader.Payload(), View(m_password)) : m_reader.Payload()));
}

void CZaridoDovoClient::EvaluateReply(const QByteArray &reply)
{
    // The connection stays open; a further frame from the peer is judged as a new reply.
    m_reader.Reset();
    m_replyBytes = 0;
    if (View(reply) == ZaridoDovo::ReplyOk) {
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
    emit MessageError(QByteArrayLiteral("Invalid Message Received"));
    AddLog("Error: " + logText);
}

void CZaridoDovoClient::onClose()
{
    if (!m_socket)
        return;
    DropSocket();
    const quint64 epoch = m_epoch;
    const QString ip = m_IP_Address;
    const QString destination = Destination();
    if (m_replyBytes == 0) {
        AddLog(QStringLiteral("Would call Verify Here..."));
    } else {
        // The reply was cut short: report what came of it.
        const QByteArray partial = Bytes(m_reader.Payload());
        m_reader.Reset();
        m_replyBytes = 0;
        emit MessageError(partial);
        if (epoch != m_epoch)
            return;
    }
    AddLog("Closed " + destination);
    emit Disconnected(ip);
}

void CZaridoDovoClient::onError()
{
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    // The peer's orderly close is reported by the disconnected signal that follows.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    const QString text = m_socket->errorString();
    DropSocket();
    emit Error(static_cast<int>(error), text);
    AddLog("Socket Error: " + text);
}

void CZaridoDovoClient::onConnectTimeout()
{
    if (!m_socket || m_socket->state() == QAbstractSocket::ConnectedState)
        return;
    DropSocket();
    // The text Qt itself gives this error.
    const QString text = QStringLiteral("Socket operation timed out");
    emit Error(static_cast<int>(QAbstractSocket::SocketTimeoutError), text);
    AddLog("Socket Error: " + text);
}

void CZaridoDovoClient::DropSocket()
{
    m_connectTimer.stop();
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
