#pragma once

#include "protocol/WireFormat.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <sys/socket.h>

// A frame as the product's writer makes it: plain, or legacy-enciphered with a password.
inline QByteArray Frame(const QByteArray &text, const QByteArray &password = {})
{
    return QByteArray::fromStdString(WriteFrame(text.toStdString(), password.toStdString()).value());
}

// A receiver on a loopback port that misbehaves as a test asks, once it has read `readFirst`
// bytes of the sender's frame.
struct ScriptedReceiver
{
    enum Script { CloseSilently, PartialReplyThenClose, ReplyThenReset, StaySilent, ReplyThenClose };

    ScriptedReceiver(Script script, qint64 readFirst, const QByteArray &reply)
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [=, this] {
            QTcpSocket *socket = server.nextPendingConnection();
            ++connections;
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [=, this] {
                // Reads no more than it must before acting, so that what it leaves unread
                // makes its close a reset, as a real receiver's would.
                const qint64 wanted = std::max<qint64>(0, readFirst - received);
                received += socket->read(script == StaySilent ? socket->bytesAvailable()
                                                              : std::min(socket->bytesAvailable(), wanted))
                                .size();
                if (acted || received < readFirst)
                    return;
                acted = true;
                if (script == PartialReplyThenClose || script == ReplyThenReset || script == ReplyThenClose)
                    socket->write(script == PartialReplyThenClose ? Frame(reply).left(9) : Frame(reply));
                if (script != StaySilent)
                    socket->disconnectFromHost(); // with unread data left, the system resets
            });
        });
    }
    quint16 Port() const { return server.serverPort(); }

    QTcpServer server;
    qint64 received = 0;
    int connections = 0;
    bool acted = false;
};
