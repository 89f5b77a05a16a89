#include "phone/PhoneListener.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr char Seen[] = "textdropSeen";       // bytes of the request looked at so far
constexpr char Deadline[] = "textdropDeadline"; // the timer that cuts a slow request off

} // namespace

PhoneListener::PhoneListener(const Limits &limits, QObject *parent) : QTcpServer(parent), m_limits(limits) {}

void PhoneListener::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress address = socket->peerAddress();
    ++m_live;
    ++m_perAddress[address];
    connect(socket, &QObject::destroyed, this, [this, address] {
        --m_live;
        if (--m_perAddress[address] <= 0)
            m_perAddress.remove(address);
    });
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    if (m_live > m_limits.connections || m_perAddress.value(address) > m_limits.connectionsPerAddress) {
        Refuse(socket, "503 Service Unavailable");
        return;
    }
    auto *deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, &QAbstractSocket::abort);
    deadline->start(m_limits.requestMilliseconds);
    socket->setProperty(Deadline, QVariant::fromValue<QObject *>(deadline));
    // Connected before the web server's own reader, so the bytes are judged before it takes them.
    connect(socket, &QIODevice::readyRead, this, [this, socket] { Inspect(socket); });
    addPendingConnection(socket);
}

void PhoneListener::RequestArrived(QTcpSocket *socket)
{
    if (auto *deadline = socket ? socket->property(Deadline).value<QObject *>() : nullptr)
        static_cast<QTimer *>(deadline)->stop();
}

void PhoneListener::Inspect(QTcpSocket *socket)
{
    QByteArray seen = socket->property(Seen).toByteArray();
    if (seen.size() > m_limits.headerBytes)
        return; // the header was judged already
    seen += socket->peek(m_limits.headerBytes + 1 - seen.size());
    const qsizetype end = seen.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty(Seen, seen);
        if (seen.size() > m_limits.headerBytes)
            Refuse(socket, "431 Request Header Fields Too Large");
        return;
    }
    socket->setProperty(Seen, QByteArray(m_limits.headerBytes + 1, '\0')); // judged: later bytes are the body
    const QByteArray header = seen.left(end).toLower();
    if (header.contains("\ntransfer-encoding:")) {
        Refuse(socket, "411 Length Required");
        return;
    }
    const qsizetype field = header.indexOf("\ncontent-length:");
    if (field >= 0) {
        const qsizetype from = field + qsizetype(sizeof("\ncontent-length:")) - 1;
        const qsizetype lineEnd = header.indexOf('\r', from);
        bool ok = false;
        const qint64 length = header.mid(from, lineEnd < 0 ? -1 : lineEnd - from).trimmed().toLongLong(&ok);
        if (!ok || length < 0 || length > m_limits.bodyBytes)
            Refuse(socket, "413 Payload Too Large");
    }
}

void PhoneListener::Refuse(QTcpSocket *socket, const QByteArray &status)
{
    // Nothing more is read: the web server must not see this request.
    socket->disconnect(socket, &QIODevice::readyRead, nullptr, nullptr);
    socket->readAll();
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}
