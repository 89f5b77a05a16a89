#pragma once

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <sys/socket.h>

// A receiver on a loopback port that misbehaves as a test asks, once it has read `readFirst`
// bytes of the sender's frame.
struct ScriptedReceiver
{
    enum Script { CloseSilently, ResetSilently, PartialReplyThenClose, ReplyThenReset, StaySilent, ReplyThenClose };

    // The plain frame of a reply word.
    static QByteArray ReplyFrame(const QByteArray &word)
    {
        const auto size = static_cast<int>(word.size());
        return "STALK" + QByteArray(1, char(size >> 16)) + char((size >> 8) & 0xFF) + char(size & 0xFF) + word;
    }

    // Ends a connection with a reset instead of an orderly close.
    static void Reset(QTcpSocket *socket)
    {
        const linger abrupt{1, 0};
        ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
        socket->abort();
    }

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
                switch (script) {
                case CloseSilently: socket->disconnectFromHost(); break;
                case ResetSilently: Reset(socket); break;
                case PartialReplyThenClose:
                    socket->write(ReplyFrame(reply).left(9));
                    socket->disconnectFromHost();
                    break;
                case ReplyThenReset: // closing with unread data makes the system reset the connection
                case ReplyThenClose:
                    socket->write(ReplyFrame(reply));
                    socket->disconnectFromHost();
                    break;
                case StaySilent: break;
                }
            });
        });
    }
    quint16 Port() const { return server.serverPort(); }

    QTcpServer server;
    qint64 received = 0;
    int connections = 0;
    bool acted = false;
};
