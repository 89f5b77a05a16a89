#pragma once

#include "MemoryLogView.h"
#include "crypto/PasswordKdf.h"
#include "protocol/CZaridoDovoServer.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <atomic>
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

// Derivations at the cheapest cost, counted; with a gate, each waits for the test to release it
// (for at most holdMilliseconds; -1: until released).
struct CountingDeriver
{
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<QSemaphore> gate;
    int holdMilliseconds = -1;

    KeyStore::Deriver operator()() const
    {
        return [calls = calls, gate = gate, hold = holdMilliseconds](const SecretBytes &password, const std::string &salt) {
            ++*calls;
            if (gate)
                (void)gate->tryAcquire(1, hold);
            return PasswordKdf(PasswordKdf::Minimal()).Derive(password, salt);
        };
    }
};

struct ReceiverOptions
{
    QByteArray password = {};
    ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Legacy;
    ServerLimits limits = {};
    KeyStore::Limits keyLimits = {};
    int hold = 0; // derivations gated: 0 not, else as CountingDeriver::holdMilliseconds
    QString replayFolder = {};
    int timeout = 3;
};

// A server on a loopback port it picked, with cheap counted keys. Its log lines and its signals
// ("<Signal argument>") go into one view, a single time line; what it delivers is listed.
struct LoopbackReceiver
{
    static constexpr int Hour = 3600 * 1000; // a tick period that never comes during a test
    using Options = ReceiverOptions;

    explicit LoopbackReceiver(const ReceiverOptions &options = ReceiverOptions())
        : server(nullptr, Hour, options.limits, options.keyLimits)
    {
        if (options.hold != 0)
            deriver.gate = std::make_shared<QSemaphore>(0);
        deriver.holdMilliseconds = options.hold;
        server.SetKeyDeriver(deriver());
        server.SetReplayFolder(options.replayFolder);
        server.Log().AttachTextBox(&view);
        const auto note = [this](const QString &name) {
            return [this, name](const QString &argument) { view.text += "<" + name + " " + argument + ">\r\n"; };
        };
        QObject::connect(&server, &CZaridoDovoServer::Connected, note("Connected"));
        QObject::connect(&server, &CZaridoDovoServer::Disconnected, note("Disconnected"));
        QObject::connect(&server, &CZaridoDovoServer::Timeout, note("Timeout"));
        QObject::connect(&server, &CZaridoDovoServer::MessageError, note("MessageError"));
        QObject::connect(&server, &CZaridoDovoServer::MessageReceived, [this, note](const QByteArray &text, const QString &ip) {
            delivered << text;
            note("MessageReceived " + text)(ip);
        });
        server.StartServer(QStringLiteral("127.0.0.1"), 0, options.timeout, options.password, false, options.cipher);
    }
    ~LoopbackReceiver()
    {
        if (deriver.gate) // a derivation still held would keep the server's end waiting
            deriver.gate->release(64);
    }

    quint16 Port() const { return static_cast<quint16>(server.LocalPort()); }
    QByteArray Exchange(const QByteArray &wire, const QString &source = QStringLiteral("127.0.0.1")) const
    {
        return ::Exchange(Port(), wire, source);
    }
    QStringList Lines() const { return view.text.split("\r\n", Qt::SkipEmptyParts); }
    int Derivations() const { return deriver.calls->load(); }

    // A peer connected from `source` and accepted by the server.
    std::unique_ptr<QTcpSocket> Accepted(const QString &source = QStringLiteral("127.0.0.1"))
    {
        QSignalSpy connected(&server, &CZaridoDovoServer::Connected);
        auto peer = Dial(Port(), {}, source);
        return connected.wait() ? std::move(peer) : nullptr;
    }

    MemoryLogView view;
    CountingDeriver deriver;
    CZaridoDovoServer server;
    QByteArrayList delivered;
};
