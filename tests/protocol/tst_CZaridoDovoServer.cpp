#include "LoopbackReceiver.h"
#include "ScriptedReceiver.h"
#include "protocol/ZaridoDovoConnection.h"

#include <QElapsedTimer>
#include <QTimer>


#include <functional>
#include <vector>

namespace {

const QString Peer = QStringLiteral("127.0.0.1");
const QString OtherPeer = QStringLiteral("127.0.0.2");
const QByteArray PlainOk("STALK\0\0\x02OK", 10);

// A peer that sends `wire` one byte every `period` ms, all but its last byte.
struct Trickle
{
    Trickle(QTcpSocket *peer, const QByteArray &wire, int period = 5)
    {
        QObject::connect(&timer, &QTimer::timeout, [=, this] {
            if (sent < wire.size() - 1)
                peer->write(wire.mid(sent++, 1));
        });
        timer.start(period);
    }
    QTimer timer;
    int sent = 0;
};

} // namespace

class tst_CZaridoDovoServer : public QObject
{
    Q_OBJECT

private slots:
    void servesOneConnection_data();
    void servesOneConnection();
    void refuseMessageAnswersPlain();
    void racingSendersAllAnswered();
    void limitsDropFromTheBusiestAddress_data();
    void limitsDropFromTheBusiestAddress();
    void floodingAddressesDoNotStarveOthers();
    void deliveringConnectionIsNotTheOneDropped();
    void defaultListenerHoldsBothVersions();
    void idleCountEndsAtTheTickAfterTimeout();
    void frameDeadlineCutsATricklingPeer();
};

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
    QTest::newRow("plain") << none << Frame("abc") << 0 << PlainOk << ok;
    QTest::newRow("plain, then the sender shuts its write side") << none << Frame("abc") << 2 << PlainOk << ok;
    QTest::newRow("enciphered") << pw << Frame("abc", pw) << 0 << Frame("OK", pw) << ok;
    QTest::newRow("declared 16777215, header alone")
        << pw << QByteArray("CTALK\xff\xff\xff", 8) << 0 << Frame("MAXSIZE")
        << QStringList{refused("the text is over 1 MiB"), "Error: Invalid Message Size"};
    QTest::newRow("one byte more than declared")
        << none << Frame("abc") + "d" << 0 << Frame("BAD")
        << QStringList{refused("more bytes came than the frame declares"), "Error: Invalid Message Received"};
    QTest::newRow("enciphered while no password is set")
        << none << Frame("abc", pw) << 0 << Frame("BAD")
        << QStringList{"Secured message received with no password set.",
                       refused("it is enciphered, and no password is set here"), "Error: No password set"};
    QTest::newRow("empty message") << none << Frame("") << 0 << none << QStringList{gone, gone, "Socket quick closed"};
    QTest::newRow("peer closes before any byte")
        << none << none << 1 << none << QStringList{gone, "Socket closed", gone, gone, "Socket quick closed"};
}

void tst_CZaridoDovoServer::servesOneConnection()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, wire);
    QFETCH(int, peerEnd);
    QFETCH(QStringList, timeline);

    LoopbackReceiver receiver({.password = password});
    const QStringList started = receiver.Lines(); // where it listens
    QCOMPARE(started.size(), 1);
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, receiver.Port());
    QVERIFY(peer.waitForConnected(5000) && peer.write(wire) == wire.size() && (peer.flush() || wire.isEmpty()));
    if (peerEnd == 1)
        peer.disconnectFromHost();
    if (peerEnd == 2)
        QCOMPARE(::shutdown(static_cast<int>(peer.socketDescriptor()), SHUT_WR), 0);
    // The listener stays: "started" is not logged again after the connection.
    const QStringList accepted{"Accepted connection " + Peer, "<Connected " + Peer + ">"};
    QTRY_COMPARE(receiver.Lines(), started + accepted + timeline);
    QTEST(ReplyOf(peer), "reply");
    QTRY_VERIFY(receiver.server.findChildren<ZaridoDovoConnection *>().isEmpty());
}

void tst_CZaridoDovoServer::refuseMessageAnswersPlain()
{
    LoopbackReceiver receiver({.password = "pw"});
    receiver.server.RefuseMessage("BAD", "ignored outside a delivery");
    connect(&receiver.server, &CZaridoDovoServer::MessageReceived, this, [&](const QByteArray &text) {
        if (text == "refuse")
            receiver.server.RefuseMessage("BUSY", "Receiver busy");
    });
    QCOMPARE(receiver.Exchange(Frame("refuse", "pw")), Frame("BUSY"));
    QTRY_VERIFY(receiver.Lines().contains("Send Complete"));
    const QStringList lines = receiver.Lines();
    QVERIFY2(lines.indexOf("Error: Receiver busy") >= 0 && !lines.contains("Message Finished - OK"), qPrintable(lines.join('|')));
    QVERIFY(lines.indexOf("Error: Receiver busy") < lines.indexOf("Send Complete"));
    // The refusal held for that one delivery only.
    QCOMPARE(receiver.Exchange(Frame("keep", "pw")), Frame("OK", "pw"));
}

void tst_CZaridoDovoServer::racingSendersAllAnswered()
{
    LoopbackReceiver receiver;
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    QByteArrayList expected;
    for (int k = 0; k < 20; ++k) {
        expected << "message " + QByteArray::number(k);
        peers.push_back(Dial(receiver.Port(), Frame(expected.back())));
    }
    for (auto &peer : peers)
        QCOMPARE(ReplyOf(*peer), PlainOk);
    std::sort(receiver.delivered.begin(), receiver.delivered.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(receiver.delivered, expected);
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

    LoopbackReceiver receiver({.limits = ServerLimits{total, perAddress, LoopbackReceiver::Hour, 500}});
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    for (const QString &source : held) {
        peers.push_back(receiver.Accepted(source));
        QVERIFY(peers.back());
    }
    std::unique_ptr<Trickle> trickle;
    if (sending >= 0) {
        trickle = std::make_unique<Trickle>(peers[sending].get(), Frame(QByteArray(1000, 'x')));
        QTRY_VERIFY(trickle->sent > 3);
    }
    for (int k = 0; k < newcomers; ++k)
        peers.push_back(receiver.Accepted(Peer));
    // Silent and trickling peers hold neither the port (nobody else takes it) nor the others up.
    QTcpServer squatter;
    QVERIFY(!squatter.listen(QHostAddress::LocalHost, receiver.Port()));
    QCOMPARE(receiver.Exchange(Frame("got in")), PlainOk);

    for (int k = 0; k < static_cast<int>(peers.size()); ++k)
        QTRY_COMPARE(peers[k]->state(), dropped.contains(k) ? QAbstractSocket::UnconnectedState : QAbstractSocket::ConnectedState);
    // The burst is one line, counted.
    QTRY_COMPARE(receiver.Lines().filter("Connection limit reached"),
                 QStringList(QString("Connection limit reached (%1 at once, %2 from one address): dropped %3 to make "
                                     "room, %3 of them from %4; accepted %5 meanwhile")
                                 .arg(total).arg(perAddress).arg(dropped.size()).arg(Peer).arg(dropped.size())));
}

void tst_CZaridoDovoServer::floodingAddressesDoNotStarveOthers()
{
    // Four other addresses hold every place with silent connections and reconnect the moment one
    // is dropped, while a frame from 127.0.0.1 comes in pieces.
    LoopbackReceiver receiver({.limits = ServerLimits{8, 2, LoopbackReceiver::Hour}});
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
        peer->connectToHost(QHostAddress::LocalHost, receiver.Port());
    };
    QSignalSpy connected(&receiver.server, &CZaridoDovoServer::Connected);
    for (const char *source : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"})
        hold(source), hold(source);
    QTRY_COMPARE(connected.count(), 8);

    const QByteArray wire = Frame(QByteArray(2000, 'h'));
    const auto honest = receiver.Accepted(Peer);
    QVERIFY(honest);
    QTimer pace;
    int piece = 0;
    connect(&pace, &QTimer::timeout, this, [&] { honest->write(wire.mid(piece++ * 100, 100)); });
    pace.start(15);
    QCOMPARE(ReplyOf(*honest), PlainOk);
    flooding = false;
    QVERIFY(drops > 8);
    // Accepts during the burst are counted in its one line (see limitsDropFromTheBusiestAddress), not logged.
    QCOMPARE(receiver.Lines().filter("Accepted connection").size(), 8);
}

void tst_CZaridoDovoServer::deliveringConnectionIsNotTheOneDropped()
{
    // At most two at once. While the first one's message is being delivered (its handler runs an
    // event loop, as a window's dialog would), a silent one and then a third arrive: the silent
    // one makes room, not the older one that brought its whole frame.
    LoopbackReceiver receiver({.limits = ServerLimits{2, 2, LoopbackReceiver::Hour}});
    std::unique_ptr<QTcpSocket> silent, third;
    connect(&receiver.server, &CZaridoDovoServer::MessageReceived, this, [&](const QByteArray &text) {
        if (text != "first")
            return;
        silent = receiver.Accepted();
        third = receiver.Accepted();
    });
    QCOMPARE(receiver.Exchange(Frame("first")), PlainOk);
    QVERIFY(silent && third);
    QTRY_COMPARE(silent->state(), QAbstractSocket::UnconnectedState);
    third->write(Frame("third"));
    QCOMPARE(ReplyOf(*third), PlainOk);
}

void tst_CZaridoDovoServer::defaultListenerHoldsBothVersions()
{
    CZaridoDovoServer server;
    QVERIFY(server.StartServer({}, 0, 3));
    const auto port = static_cast<quint16>(server.LocalPort());
    for (const char *other : {"::", "0.0.0.0"}) { // where another program tries the same port
        QTcpServer squatter;
        QVERIFY2(!squatter.listen(QHostAddress(other), port), other);
    }
    QCOMPARE(Exchange(port, Frame("still served")), PlainOk);
    // A second listener on every address fails, and says where.
    CZaridoDovoServer second;
    MemoryLogView view;
    second.Log().AttachTextBox(&view);
    QVERIFY(!second.StartServer({}, port, 3));
    QVERIFY2(view.text.contains("Error starting server on 0.0.0.0:" + QString::number(port)), qPrintable(view.text));
}

void tst_CZaridoDovoServer::idleCountEndsAtTheTickAfterTimeout()
{
    // Ticks are driven by hand; the real period never comes.
    constexpr int timeout = 3;
    LoopbackReceiver receiver({.timeout = timeout});
    const auto peer = receiver.Accepted();
    QVERIFY(peer);
    auto *connection = receiver.server.findChild<ZaridoDovoConnection *>();
    CTimer *timer = connection ? connection->findChild<CTimer *>() : nullptr;
    QVERIFY(timer && timer->Enabled());
    QSignalSpy timedOut(&receiver.server, &CZaridoDovoServer::Timeout);
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
    QCOMPARE(receiver.Lines().last(2), QStringList({"Timeout enabled", "<Timeout " + Peer + ">"}));
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
}

void tst_CZaridoDovoServer::frameDeadlineCutsATricklingPeer()
{
    constexpr int deadline = 200;
    LoopbackReceiver receiver({.limits = ServerLimits{8, 8, deadline}});
    QElapsedTimer clock;
    clock.start();
    const auto peer = receiver.Accepted();
    QVERIFY(peer);
    QSignalSpy timedOut(&receiver.server, &CZaridoDovoServer::Timeout);
    Trickle trickle(peer.get(), Frame("a frame that never ends in time"), 10);
    QVERIFY(timedOut.wait(5000));
    // A coarse timer may fire 5% early, a little more on a loaded machine.
    QVERIFY2(clock.elapsed() >= deadline * 9 / 10, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(trickle.sent > 3);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(receiver.Lines().contains("Timeout enabled"));
}

QTEST_MAIN(tst_CZaridoDovoServer)
#include "tst_CZaridoDovoServer.moc"
