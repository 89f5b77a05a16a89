#pragma once

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>

// The listening socket the page's web server is bound to. The web server parses requests
// without limits, so each connection is bounded here before it sees a byte: live
// connections in all and per address, the header's size, the declared body's size (a body
// without a declared length is refused), and the time a request may take to arrive.
// Each connection carries one request; the server closes it after answering.
class PhoneListener : public QTcpServer
{
    Q_OBJECT

public:
    struct Limits
    {
        int connections = 64;
        int connectionsPerAddress = 8;
        qint64 headerBytes = 8 * 1024;
        qint64 bodyBytes = 2 * 1024 * 1024;
        int requestMilliseconds = 10'000;
    };

    explicit PhoneListener(const Limits &limits, QObject *parent = nullptr);

    // The request on this connection arrived whole: its time limit no longer runs.
    static void RequestArrived(QTcpSocket *socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void Inspect(QTcpSocket *socket);
    static void Refuse(QTcpSocket *socket, const QByteArray &status);

    Limits m_limits;
    int m_live = 0;
    QHash<QHostAddress, int> m_perAddress;
};
