#pragma once

#include <QTcpSocket>
#include <QTest>

#include <memory>

// A raw peer connecting from `source` (any 127.0.0.x) to a loopback port; it writes `wire` once connected.
inline std::unique_ptr<QTcpSocket> Dial(quint16 port, const QByteArray &wire = {},
                                        const QString &source = QStringLiteral("127.0.0.1"))
{
    auto peer = std::make_unique<QTcpSocket>();
    QTcpSocket *raw = peer.get();
    QObject::connect(raw, &QTcpSocket::connected, raw, [raw, wire] { raw->write(wire); });
    raw->bind(QHostAddress(source));
    raw->connectToHost(QHostAddress::LocalHost, port);
    return peer;
}

// All the other end answered, once it has closed the connection.
inline QByteArray ReplyOf(QTcpSocket &peer)
{
    if (!QTest::qWaitFor([&peer] { return peer.state() == QAbstractSocket::UnconnectedState; }, 5000))
        return "<still open>";
    return peer.readAll();
}

inline QByteArray Exchange(quint16 port, const QByteArray &wire, const QString &source = QStringLiteral("127.0.0.1"))
{
    return ReplyOf(*Dial(port, wire, source));
}
