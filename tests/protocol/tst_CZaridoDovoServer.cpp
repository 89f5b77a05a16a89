#include "LoopbackPeer.h"
#include "MemoryLogView.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/MessageJudge.h"
#include "protocol/ZaridoDovoConnection.h"
#include "protocol/WireFormat.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

#include <functional>
#include <memory>
#include <vector>

using Verdict = MessageJudge::Verdict;
Q_DECLARE_METATYPE(MessageJudge)
Q_DECLARE_METATYPE(MessageJudge::Verdict)

namespace {

const QString Peer = QStringLiteral("127.0.0.1");
const QString OtherPeer = QStringLiteral("127.0.0.2");
const QByteArray PlainOk("STALK\0\0\x02OK", 10);
constexpr int Hour = 3600 * 1000; // a tick period that never comes during a test

QByteArray Frame(const QByteArray &text, const QByteArray &password)
{
    return QByteArray::fromStdString(WriteFrame(text.toStdString(), password.toStdString()).bytes);
}

// One judging edge: a judge as the server configures it, the bytes of one data event, what must come of them.
void Row(const char *edge, const MessageJudge &judge, const std::string &wire, Verdict verdict, bool replyEnciphered,
         const char *reason = "")
{
    QTest::newRow(edge) << judge << wire << verdict << replyEnciphered << std::string(reason);
}

// A server started on a loopback port it picked. Its signals go into its log view as
// "<Signal argument>" lines, so the view holds one time line of both.
struct Probe
{
    explicit Probe(const QByteArray &password = {}, int timeout = 3, int tick = Hour, ServerLimits limits = {})
        : server(nullptr, tick, limits)
    {
        server.Log().AttachTextBox(&view);
        const auto note = [this](const QString &name) {
            return [this, name](const QString &argument) { view.text += "<" + name + " " + argument + ">\r\n"; };
        };
        QObject::connect(&server, &CZaridoDovoServer::Connected, note("Connected"));
        QObject::connect(&server, &CZaridoDovoServer::Disconnected, note("Disconnected"));
        QObject::connect(&server, &CZaridoDovoServer::Timeout, note("Timeout"));
        QObject::connect(&server, &CZaridoDovoServer::MessageError, note("MessageError"));
        QObject::connect(&server, &CZaridoDovoServer::MessageReceived,
                         [note](const QByteArray &text, const QString &ip) { note("MessageReceived " + text)(ip); });
        server.StartServer(Peer, 0, timeout, password, false, ZaridoDovo::Cipher::Legacy);
    }
    QStringList Lines() const { return view.text.split("\r\n", Qt::SkipEmptyParts); }

    // A peer connected from `source` and accepted by the server.
    std::unique_ptr<QTcpSocket> Accepted(const QString &source = Peer)
    {
        QSignalSpy connected(&server, &CZaridoDovoServer::Connected);
        auto peer = Dial(server.LocalPort(), {}, source);
        return connected.wait() ? std::move(peer) : nullptr;
    }

    ZaridoDovoConnection *OnlyConnection() const
    {
        const auto all = server.findChildren<ZaridoDovoConnection *>();
        return all.size() == 1 ? all.first() : nullptr;
    }

    MemoryLogView view;
    CZaridoDovoServer server;
};

} // namespace

class tst_CZaridoDovoServer : public QObject
{
    Q_OBJECT

private slots:
    void judges_data();
    void judges();
    void servesOneConnection_data();
    void servesOneConnection();
    void refuseMessageAnswersPlain_data();
    void refuseMessageAnswersPlain();
    void stalledPeersDoNotHoldOthersUp();
    void racingSendersAllAnswered();
    void limitsDropFromTheBusiestAddress_data();
    void limitsDropFromTheBusiestAddress();
    void floodingAddressesDoNotStarveOthers();
    void deliveringConnectionIsNotTheOneDropped();
    void defaultListenerHoldsBothVersions_data();
    void defaultListenerHoldsBothVersions();
    void idleCountEndsAtTheTickAfterTimeout();
    void frameDeadlineCutsATricklingPeer();
};

void tst_CZaridoDovoServer::judges_data()
{
    QTest::addColumn<MessageJudge>("judge");
    QTest::addColumn<std::string>("wire");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<bool>("replyEnciphered");
    QTest::addColumn<std::string>("reason");

    using enum Verdict;
    const MessageJudge password("pw", false), secureOnly("pw", true), none("", false), lockedOut("", true);
    Row("enciphered", password, WriteFrame("abc", "pw").bytes, Deliver, true);
    Row("enciphered to a secure-only server", secureOnly, WriteFrame("abc", "pw").bytes, Deliver, true);
    Row("wrong password", password, WriteFrame("abc", "other").bytes, RefuseUndecipherable, false, "Invalid Password");
    Row("plain to a secure-only server", secureOnly, WriteFrame("abc", "").bytes, RefuseUndecipherable, false,
        "Unsecured message refused");
    Row("plain to a secure-only server without a password", lockedOut, WriteFrame("abc", "").bytes, RefuseUndecipherable,
        false, "Unsecured message refused");
    Row("secure tag over the limit, no password", none, "CTALK\xff\xff\xff", RefuseOversized, false,
        "Invalid Message Size");
    Row("literal secure tag over the limit, password set", password, std::string("CTALK\x10\0\x01", 8), RefuseOversized, false,
        "Invalid Message Size");
    Row("secure tag, one byte more than declared, password set", password, std::string("CTALK\0\0\x01xy", 10),
        RefuseOverlong, false, "Invalid Message Received");
}

void tst_CZaridoDovoServer::judges()
{
    QFETCH(MessageJudge, judge);
    QFETCH(std::string, wire);
    QFETCH(Verdict, verdict);
    QFETCH(bool, replyEnciphered);
    QFETCH(std::string, reason);

    // The header split across two data events: the first only waits for the rest.
    QCOMPARE(judge.Feed(wire.substr(0, 3)), Verdict::Wait);
    QCOMPARE(judge.Feed(wire.substr(3)), verdict);
    QCOMPARE(judge.ReplyEnciphered(), replyEnciphered);
    QCOMPARE(judge.RefusalReason(), reason);
    // Once judged, the connection carries nothing more: a late byte neither refuses nor delivers.
    QCOMPARE(judge.Feed("x"), Verdict::NoMessage);
}

void tst_CZaridoDovoServer::servesOneConnection_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("peerEnd"); // once its bytes are out: 0 stays, 1 closes, 2 shuts its write side
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("timeline"); // after the accept

    const QByteArray pw("pw"), none;
    // What the window's status line and notification show after " Error: ".
    const auto refused = [](const QString &why) { return "<MessageError Invalid Message Received: " + why + ">"; };
    const QString gone = "<Disconnected " + Peer + ">";
    const QStringList ok{"<MessageReceived abc " + Peer + ">", "Message Finished - OK", "Send Complete"};
    QTest::newRow("plain") << none << QByteArray("STALK\0\0\x03" "abc", 11) << 0 << PlainOk << ok;
    QTest::newRow("plain, then the sender shuts its write side")
        << none << QByteArray("STALK\0\0\x03" "abc", 11) << 2 << PlainOk << ok;
    QTest::newRow("enciphered") << pw << Frame("abc", pw) << 0 << Frame("OK", pw) << ok;
    QTest::newRow("plain to a server with a password") << pw << Frame("abc", none) << 0 << PlainOk << ok;
    QTest::newRow("declared 16777215, literal secure tag, header alone")
        << pw << QByteArray("CTALK\xff\xff\xff", 8) << 0 << Frame("MAXSIZE", none)
        << QStringList{refused("the text is over 1 MiB"), "Error: Invalid Message Size"};
    QTest::newRow("one byte more than declared") << none << Frame("abc", none) + "d" << 0
                                                 << QByteArray("STALK\0\0\x03" "BAD", 11)
                                                 << QStringList{refused("more bytes came than the frame declares"), "Error: Invalid Message Received"};
    QTest::newRow("enciphered while no password is set")
        << none << Frame("abc", pw) << 0 << Frame("BAD", none)
        << QStringList{"Secured message received with no password set.",
                       refused("it is enciphered, and no password is set here"), "Error: No password set"};
    QTest::newRow("empty message") << none << QByteArray("STALK\0\0\0", 8) << 0 << none
                                   << QStringList{gone, gone, "Socket quick closed"};
    QTest::newRow("peer closes before any byte")
        << none << none << 1 << none << QStringList{gone, "Socket closed", gone, gone, "Socket quick closed"};
}

void tst_CZaridoDovoServer::servesOneConnection()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, wire);
    QFETCH(int, peerEnd);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, timeline);

    Probe probe(password);
    const QStringList started = probe.Lines(); // where it listens
    QCOMPARE(started.size(), 1);
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, probe.server.LocalPort());
    QVERIFY(peer.waitForConnected(5000) && peer.write(wire) == wire.size() && (peer.flush() || wire.isEmpty()));
    if (peerEnd == 1)
        peer.disconnectFromHost();
    if (peerEnd == 2)
        QCOMPARE(::shutdown(static_cast<int>(peer.socketDescriptor()), SHUT_WR), 0);
    // The listener stays: "started" is not logged again after the connection.
    const QStringList accepted{"Accepted connection " + Peer, "<Connected " + Peer + ">"};
    QTRY_COMPARE(probe.Lines(), started + accepted + timeline);
    QCOMPARE(ReplyOf(peer), reply);
    QTRY_VERIFY(probe.server.findChildren<ZaridoDovoConnection *>().isEmpty());
}

void tst_CZaridoDovoServer::refuseMessageAnswersPlain_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("plain message") << QByteArray();
    QTest::newRow("enciphered message") << QByteArray("pw");
}

void tst_CZaridoDovoServer::refuseMessageAnswersPlain()
{
    QFETCH(QByteArray, password);
    Probe probe(password);
    probe.server.RefuseMessage("BAD", "ignored outside a delivery");
    bool refuse = true;
    connect(&probe.server, &CZaridoDovoServer::MessageReceived, this, [&] {
        if (refuse)
            probe.server.RefuseMessage("BUSY", "Receiver busy");
    });

    QCOMPARE(Exchange(probe.server.LocalPort(), Frame("abc", password)), Frame("BUSY", {}));
    QTRY_VERIFY(probe.Lines().contains("Send Complete"));
    const QStringList lines = probe.Lines();
    QVERIFY2(lines.contains("Error: Receiver busy") && !lines.contains("Message Finished - OK"),
             qPrintable(lines.join('|')));
    QVERIFY(lines.indexOf("Error: Receiver busy") < lines.indexOf("Send Complete"));

    // The refusal held for that one delivery only.
    refuse = false;
    QCOMPARE(Exchange(probe.server.LocalPort(), Frame("abc", password)), Frame("OK", password));
}

void tst_CZaridoDovoServer::stalledPeersDoNotHoldOthersUp()
{
    Probe probe;
    const auto silent = probe.Accepted();
    const auto trickling = probe.Accepted();
    QVERIFY(silent && trickling);
    QTimer trickle;
    const QByteArray partial = Frame("never finished", {});
    int sent = 0;
    connect(&trickle, &QTimer::timeout, this, [&] { trickling->write(partial.mid(sent++ % 9, 1)); });
    trickle.start(5);

    // Nobody else can take the port while connections are open.
    QTcpServer squatter;
    QVERIFY(!squatter.listen(QHostAddress::LocalHost, static_cast<quint16>(probe.server.LocalPort())));

    QCOMPARE(Exchange(probe.server.LocalPort(), Frame("hello", {})), PlainOk);
    QVERIFY(sent > 0);
    QCOMPARE(silent->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(trickling->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(probe.Lines().count(probe.Lines().first()), 1); // started once
}

void tst_CZaridoDovoServer::racingSendersAllAnswered()
{
    constexpr int senders = 20;
    Probe probe;
    QByteArrayList delivered;
    connect(&probe.server, &CZaridoDovoServer::MessageReceived, this,
            [&](const QByteArray &text) { delivered << text; });
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    QByteArrayList expected;
    for (int k = 0; k < senders; ++k) {
        expected << "message " + QByteArray::number(k);
        peers.push_back(Dial(probe.server.LocalPort(), Frame(expected.back(), {})));
    }
    for (auto &peer : peers)
        QCOMPARE(ReplyOf(*peer), PlainOk);
    std::sort(delivered.begin(), delivered.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(delivered, expected);
}

void tst_CZaridoDovoServer::limitsDropFromTheBusiestAddress_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("perAddress");
    QTest::addColumn<QStringList>("held"); // where the open connections come from, oldest first
    QTest::addColumn<int>("sending");      // which of them trickles its frame meanwhile; -1: none
    QTest::addColumn<int>("newcomers");    // silent ones from 127.0.0.1, then one that sends
    QTest::addColumn<QList<int>>("dropped");

    const QStringList held{OtherPeer, Peer, Peer};
    QTest::newRow("per address: the idle longest, not the one sending")
        << 10 << 2 << QStringList{Peer, OtherPeer, Peer} << 0 << 0 << QList<int>{2};
    QTest::newRow("in total: from the address holding the most") << 3 << 3 << held << -1 << 0 << QList<int>{1};
    QTest::newRow("a burst in total") << 3 << 3 << held << -1 << 1 << QList<int>{1, 2};
}

void tst_CZaridoDovoServer::limitsDropFromTheBusiestAddress()
{
    QFETCH(int, total);
    QFETCH(int, perAddress);
    QFETCH(QStringList, held);
    QFETCH(int, sending);
    QFETCH(int, newcomers);
    QFETCH(QList<int>, dropped);

    Probe probe({}, 3, Hour, ServerLimits{total, perAddress, Hour, 500});
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    for (const QString &source : held) {
        peers.push_back(probe.Accepted(source));
        QVERIFY(peers.back());
    }
    QTimer trickle;
    const QByteArray partial = Frame(QByteArray(1000, 'x'), {});
    int sent = 0;
    connect(&trickle, &QTimer::timeout, this, [&] { peers[sending]->write(partial.mid(sent++, 1)); });
    if (sending >= 0) {
        trickle.start(5);
        QTRY_VERIFY(sent > 3);
    }
    for (int k = 0; k < newcomers; ++k)
        peers.push_back(probe.Accepted(Peer));
    QCOMPARE(Exchange(probe.server.LocalPort(), Frame("got in", {})), PlainOk);

    for (int k = 0; k < static_cast<int>(peers.size()); ++k) {
        const auto expected = dropped.contains(k) ? QAbstractSocket::UnconnectedState : QAbstractSocket::ConnectedState;
        QTRY_COMPARE(peers[k]->state(), expected);
    }
    // The burst is one line, counted.
    QTRY_COMPARE(probe.Lines().filter("Connection limit reached"),
                 QStringList(QString("Connection limit reached (%1 at once, %2 from one address): dropped %3 to make "
                                     "room, %3 of them from %4; accepted %5 meanwhile")
                                 .arg(total).arg(perAddress).arg(dropped.size()).arg(Peer).arg(dropped.size())));
}

void tst_CZaridoDovoServer::floodingAddressesDoNotStarveOthers()
{
    // Four other addresses hold every place with silent connections and reconnect the moment one
    // is dropped, while a frame from 127.0.0.1 comes in pieces.
    Probe probe({}, 3, Hour, ServerLimits{8, 2, Hour});
    QObject flood;
    bool flooding = true;
    int drops = 0;
    std::function<void(const QString &)> hold = [&](const QString &source) {
        auto *peer = new QTcpSocket(&flood);
        connect(peer, &QTcpSocket::disconnected, &flood, [&, peer, source] {
            peer->deleteLater();
            ++drops;
            if (flooding)
                hold(source);
        });
        peer->bind(QHostAddress(source));
        peer->connectToHost(QHostAddress::LocalHost, probe.server.LocalPort());
    };
    QSignalSpy connected(&probe.server, &CZaridoDovoServer::Connected);
    for (const char *source : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"})
        hold(source), hold(source);
    QTRY_COMPARE(connected.count(), 8);

    const QByteArray wire = Frame(QByteArray(2000, 'h'), {});
    const auto honest = probe.Accepted(Peer);
    QVERIFY(honest);
    QTimer pace;
    int piece = 0;
    connect(&pace, &QTimer::timeout, this, [&] { honest->write(wire.mid(piece++ * 100, 100)); });
    pace.start(15);
    QCOMPARE(ReplyOf(*honest), PlainOk);
    flooding = false;
    QVERIFY(drops > 8);
    // Accepts during the burst are counted in its one line (see limitsDropFromTheBusiestAddress), not logged.
    QCOMPARE(probe.Lines().filter("Accepted connection").size(), 8);
}

void tst_CZaridoDovoServer::deliveringConnectionIsNotTheOneDropped()
{
    // At most two at once. While the first one's message is being delivered (its handler runs an
    // event loop, as a window's dialog would), a silent one and then a third arrive: the silent
    // one makes room, not the older one that brought its whole frame.
    Probe probe({}, 3, Hour, ServerLimits{2, 2, Hour});
    std::unique_ptr<QTcpSocket> silent, third;
    connect(&probe.server, &CZaridoDovoServer::MessageReceived, this, [&](const QByteArray &text) {
        if (text != "first")
            return;
        silent = probe.Accepted();
        third = probe.Accepted();
    });
    QCOMPARE(Exchange(probe.server.LocalPort(), Frame("first", {})), PlainOk);
    QVERIFY(silent && third);
    QTRY_COMPARE(silent->state(), QAbstractSocket::UnconnectedState);
    third->write(Frame("third", {}));
    QCOMPARE(ReplyOf(*third), PlainOk);
}

void tst_CZaridoDovoServer::defaultListenerHoldsBothVersions_data()
{
    QTest::addColumn<QString>("other"); // where another program tries the same port
    QTest::newRow("IPv6 side") << QStringLiteral("::");
    QTest::newRow("IPv4 side") << QStringLiteral("0.0.0.0");
}

void tst_CZaridoDovoServer::defaultListenerHoldsBothVersions()
{
    QFETCH(QString, other);
    CZaridoDovoServer server;
    QVERIFY(server.StartServer({}, 0, 3));
    QTcpServer squatter;
    QVERIFY(!squatter.listen(QHostAddress(other), static_cast<quint16>(server.LocalPort())));
    QCOMPARE(Exchange(server.LocalPort(), Frame("still served", {})), PlainOk);
}

void tst_CZaridoDovoServer::idleCountEndsAtTheTickAfterTimeout()
{
    // Ticks are driven by hand; the real period never comes.
    constexpr int timeout = 3;
    Probe probe({}, timeout, Hour);
    const auto peer = probe.Accepted();
    QVERIFY(peer);
    ZaridoDovoConnection *connection = probe.OnlyConnection();
    QVERIFY(connection);
    CTimer *timer = connection->findChild<CTimer *>();
    QVERIFY(timer && timer->Enabled());
    QSignalSpy timedOut(&probe.server, &CZaridoDovoServer::Timeout);
    const auto tick = [timer](int count) {
        for (int k = 0; k < count; ++k)
            emit timer->Timer();
    };

    tick(timeout); // reloaded at the accept: these use it up
    QCOMPARE(timedOut.count(), 0);
    QCOMPARE(connection->TicksLeft(), 0);
    peer->write("ST"); // a data event reloads the count
    QTRY_COMPARE(connection->TicksLeft(), timeout);
    tick(timeout);
    QCOMPARE(timedOut.count(), 0);
    tick(1);
    QCOMPARE(timedOut.count(), 1);
    QCOMPARE(probe.Lines().last(2), QStringList({"Timeout enabled", "<Timeout " + Peer + ">"}));
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
}

void tst_CZaridoDovoServer::frameDeadlineCutsATricklingPeer()
{
    constexpr int deadline = 200;
    Probe probe({}, 3, Hour, ServerLimits{8, 8, deadline});
    QElapsedTimer clock;
    clock.start();
    const auto peer = probe.Accepted();
    QVERIFY(peer);
    QSignalSpy timedOut(&probe.server, &CZaridoDovoServer::Timeout);
    const QByteArray wire = Frame("a frame that never ends in time", {});
    int sent = 0;
    QTimer trickle;
    connect(&trickle, &QTimer::timeout, this, [&] {
        if (sent < wire.size() - 1)
            peer->write(wire.mid(sent++, 1));
    });
    trickle.start(10);
    QVERIFY(timedOut.wait(5000));
    // A coarse timer may fire 5% early, a little more on a loaded machine.
    QVERIFY2(clock.elapsed() >= deadline * 9 / 10, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(sent > 3);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(probe.Lines().contains("Timeout enabled"));
}

QTEST_MAIN(tst_CZaridoDovoServer)
#include "tst_CZaridoDovoServer.moc"
