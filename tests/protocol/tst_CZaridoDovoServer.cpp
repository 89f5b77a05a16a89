#include "MemoryLogView.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/ZaridoDovoGlobal.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString Peer = QStringLiteral("127.0.0.1");

QByteArray Frame(const QByteArray &text, const QByteArray &password)
{
    return QByteArray::fromStdString(WriteFrame(text.toStdString(), password.toStdString()).bytes);
}

// A server on the loopback port it picked, with its signals and log lines in order.
struct Probe
{
    explicit Probe(int tickMilliseconds = CZaridoDovoServer::DefaultTickMilliseconds)
        : server(nullptr, tickMilliseconds)
    {
        clock.start();
        server.Log().AttachTextBox(&view);
        const auto record = [this](const char *name) {
            return [this, name](const QString &argument) { Record(QString(name) + " " + argument); };
        };
        QObject::connect(&server, &CZaridoDovoServer::Connected, record("Connected"));
        QObject::connect(&server, &CZaridoDovoServer::Disconnected, record("Disconnected"));
        QObject::connect(&server, &CZaridoDovoServer::Timeout, record("Timeout"));
        QObject::connect(&server, &CZaridoDovoServer::MessageError, record("MessageError"));
        QObject::connect(&server, &CZaridoDovoServer::MessageReceived, [this](const QByteArray &text, const QString &from) {
            Record("MessageReceived " + text + " " + from);
        });
    }
    void Record(const QString &event)
    {
        events << event;
        stamps << clock.elapsed();
    }
    bool Start(const QByteArray &password = {}, bool secureOnly = false, int timeout = 3)
    {
        return server.StartServer(Peer, 0, timeout, password, secureOnly);
    }
    QStringList Lines() const { return view.text.split("\r\n", Qt::SkipEmptyParts); }
    QString Listening(bool secure = false) const
    {
        return (secure ? "Secure server started on " : "Server started on ") + server.LocalIP() + ":"
            + QString::number(server.LocalPort());
    }

    MemoryLogView view;
    CZaridoDovoServer server;
    QStringList events;
    QList<qint64> stamps; // ms since the probe was made, one per event
    QElapsedTimer clock;
};

// A raw peer that keeps everything the server sends.
struct RawPeer
{
    explicit RawPeer(int port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    }
    void Write(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
        // Loopback delivers at once: the server reads these bytes as a data event of their own.
        QCoreApplication::processEvents();
    }
    QTcpSocket socket;
    QByteArray received;
};

} // namespace

class tst_CZaridoDovoServer : public QObject
{
    Q_OBJECT

private slots:
    void deliversAndRepliesOk_data();
    void deliversAndRepliesOk();
    void refuses_data();
    void refuses();
    void connectionWithoutMessage_data();
    void connectionWithoutMessage();
    void idleConnectionTimesOutWithFullAllowanceEachTime_data();
    void idleConnectionTimesOutWithFullAllowanceEachTime();
    void secondClientRefusedWhileOneIsServed();
    void portInUse();
};

void tst_CZaridoDovoServer::deliversAndRepliesOk_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("firstEvent"); // bytes written before the rest; 0 writes all at once
    QTest::addColumn<QByteArray>("reply");

    const QByteArray plainOk("STALK\0\0\x02OK", 10);
    QTest::newRow("plain") << QByteArray() << QByteArray("STALK\0\0\x03" "abc", 11) << 0 << plainOk;
    QTest::newRow("first event shorter than the header") << QByteArray() << Frame("abc", {}) << 3 << plainOk;
    QTest::newRow("header alone first") << QByteArray() << Frame("abc", {}) << 8 << plainOk;
    QTest::newRow("enciphered gets an enciphered reply") << QByteArray("pw") << Frame("abc", "pw") << 0 << Frame("OK", "pw");
    QTest::newRow("plain to a server with a password gets a plain reply") << QByteArray("pw") << Frame("abc", {}) << 0 << plainOk;
}

void tst_CZaridoDovoServer::deliversAndRepliesOk()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, wire);
    QFETCH(int, firstEvent);
    QFETCH(QByteArray, reply);

    Probe probe;
    QVERIFY(probe.Start(password));
    const QString started = probe.Listening(!password.isEmpty());
    RawPeer peer(probe.server.LocalPort());
    QTRY_COMPARE(probe.events, QStringList{"Connected " + Peer});
    if (firstEvent > 0) {
        peer.Write(wire.left(firstEvent));
        QCOMPARE(probe.events, QStringList{"Connected " + Peer}); // still waiting for the rest
    }
    peer.Write(wire.mid(firstEvent));
    QTRY_COMPARE(peer.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(peer.received, reply);
    QCOMPARE(probe.events, (QStringList{"Connected " + Peer, "MessageReceived abc " + Peer}));
    QCOMPARE(probe.Lines(), (QStringList{started, "Accepted connection " + Peer, "Message Finished - OK",
                                         "Send Complete", started}));
    QCOMPARE(probe.server.CurrentMessage().Message, QByteArray("abc"));
    QCOMPARE(probe.server.CurrentMessage().FromIP, QByteArray("127.0.0.1"));
}

void tst_CZaridoDovoServer::refuses_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("secureOnly");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("lines");

    const QByteArray maxSize = Frame("MAXSIZE", {});
    const QByteArray bad = Frame("BAD", {});
    QTest::newRow("declared 2000000, header only") << QByteArray() << false << QByteArray("STALK\x1e\x84\x80", 8)
                                                   << maxSize << QStringList{"Error: Invalid Message Size"};
    QTest::newRow("declared 1048577, payload following")
        << QByteArray() << false << QByteArray("STALK\x10\0\x01", 8) + QByteArray(60000, 'x') << maxSize
        << QStringList{"Error: Invalid Message Size"};
    QTest::newRow("secure tag over the limit, no password: plain reply")
        << QByteArray() << false << QByteArray("CTALK\xff\xff\xff", 8) << maxSize << QStringList{"Error: Invalid Message Size"};
    QTest::newRow("one byte more than declared") << QByteArray() << false << Frame("abc", {}) + "d" << bad
                                                 << QStringList{"Error: Invalid Message Received"};
    QTest::newRow("wrong password") << QByteArray("pw") << false << Frame("abc", "other") << bad
                                    << QStringList{"Error: Invalid Password"};
    QTest::newRow("plain to a secure-only server") << QByteArray("pw") << true << Frame("abc", {}) << bad
                                                   << QStringList{"Error: Unsecured message refused"};
    QTest::newRow("enciphered while no password is set")
        << QByteArray() << false << Frame("abc", "pw") << bad
        << QStringList{"Secured message received with no password set.", "Error: No password set"};
}

void tst_CZaridoDovoServer::refuses()
{
    QFETCH(QByteArray, password);
    QFETCH(bool, secureOnly);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, lines);

    Probe probe;
    QVERIFY(probe.Start(password, secureOnly));
    const QString started = probe.Listening(!password.isEmpty());
    RawPeer peer(probe.server.LocalPort());
    QTRY_COMPARE(probe.events.size(), 1);
    peer.Write(wire);
    QTRY_COMPARE(peer.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(peer.received, reply);
    QCOMPARE(probe.events, (QStringList{"Connected " + Peer, "MessageError Invalid Message Received"}));
    QCOMPARE(probe.Lines(), (QStringList{started, "Accepted connection " + Peer} + lines + QStringList{started}));
}

void tst_CZaridoDovoServer::connectionWithoutMessage_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("peerCloses");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("lines");

    const QStringList peerClosed{"Connected " + Peer, "Disconnected " + Peer, "Disconnected " + Peer, "Disconnected " + Peer};
    QTest::newRow("closes before any byte") << QByteArray() << true << peerClosed
                                            << QStringList{"Socket closed", "Socket quick closed"};
    QTest::newRow("closes after part of a header") << QByteArray("STA") << true << peerClosed
                                                   << QStringList{"Socket closed", "Socket quick closed"};
    QTest::newRow("empty message") << QByteArray("STALK\0\0\0", 8) << false
                                   << QStringList{"Connected " + Peer, "Disconnected " + Peer, "Disconnected " + Peer}
                                   << QStringList{"Socket quick closed"};
}

void tst_CZaridoDovoServer::connectionWithoutMessage()
{
    QFETCH(QByteArray, wire);
    QFETCH(bool, peerCloses);
    QFETCH(QStringList, events);
    QFETCH(QStringList, lines);

    Probe probe;
    QVERIFY(probe.Start());
    const QString started = probe.Listening();
    {
        RawPeer peer(probe.server.LocalPort());
        QTRY_COMPARE(probe.events.size(), 1);
        if (!wire.isEmpty())
            peer.Write(wire);
        if (peerCloses)
            peer.socket.disconnectFromHost();
        QTRY_COMPARE(probe.events, events);
        QTRY_COMPARE(peer.socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(peer.received.isEmpty());
    }
    // Listening again, once, with no error: the next peer is served.
    QCOMPARE(probe.Lines(), (QStringList{started, "Accepted connection " + Peer} + lines + QStringList{started}));
    QVERIFY(probe.server.Started());
    RawPeer next(probe.server.LocalPort());
    QTRY_COMPARE(probe.events.size(), events.size() + 1);
}

void tst_CZaridoDovoServer::idleConnectionTimesOutWithFullAllowanceEachTime_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("sends nothing") << QByteArray();
    QTest::newRow("sends part of a header") << QByteArray("STALK\0");
    QTest::newRow("sends part of a payload") << Frame("abcdef", {}).left(10);
}

void tst_CZaridoDovoServer::idleConnectionTimesOutWithFullAllowanceEachTime()
{
    QFETCH(QByteArray, wire);
    constexpr int tick = 40;
    Probe probe(tick);
    QVERIFY(probe.Start({}, false, 2));
    const QString started = probe.Listening();
    for (int round = 1; round <= 2; ++round) {
        RawPeer peer(probe.server.LocalPort());
        QTRY_COMPARE(probe.events.size(), 2 * round - 1);
        if (!wire.isEmpty())
            peer.Write(wire);
        QTRY_COMPARE(probe.events.size(), 2 * round);
        QCOMPARE(probe.events.last(), "Timeout " + Peer);
        // Ended at the third tick after the accept (and the data's reload); coarse timers may run 5% early.
        const qint64 lasted = probe.stamps.last() - probe.stamps[2 * round - 2];
        QVERIFY2(lasted >= 3 * tick * 95 / 100, qPrintable(QString::number(lasted)));
        QCOMPARE(probe.Lines().mid(probe.Lines().size() - 2), (QStringList{"Timeout enabled", started}));
        QTRY_COMPARE(peer.socket.state(), QAbstractSocket::UnconnectedState);
    }
}

void tst_CZaridoDovoServer::secondClientRefusedWhileOneIsServed()
{
    Probe probe;
    QVERIFY(probe.Start());
    RawPeer first(probe.server.LocalPort());
    QTRY_COMPARE(probe.events.size(), 1);

    RawPeer second(probe.server.LocalPort());
    QTRY_COMPARE(second.socket.error(), QAbstractSocket::ConnectionRefusedError);

    first.Write(Frame("abc", {}));
    QTRY_COMPARE(first.socket.state(), QAbstractSocket::UnconnectedState);
    RawPeer third(probe.server.LocalPort());
    QTRY_COMPARE(probe.events.size(), 3);
    QCOMPARE(probe.events.last(), "Connected " + Peer);
}

void tst_CZaridoDovoServer::portInUse()
{
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost));
    const QString where = Peer + ":" + QString::number(occupant.serverPort());
    Probe probe;
    QCOMPARE(probe.server.StartServer(Peer, occupant.serverPort(), 3), false);
    QCOMPARE(probe.server.Started(), false);
    const QStringList lines = probe.Lines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith("Error: ") && lines[0].size() > 7);
    QCOMPARE(lines[1], "Error starting server on " + where);
}

QTEST_MAIN(tst_CZaridoDovoServer)
#include "tst_CZaridoDovoServer.moc"
