#include "LoopbackReceiver.h"
#include "ScriptedReceiver.h"
#include "SealedFrames.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/ReplayGuard.h"
#include "protocol/ZaridoDovoConnection.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <vector>

using Checks = QList<QPair<QByteArray, int>>;

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

LoopbackReceiver::Options SealedReceiver(KeyStore::Limits keyLimits = {}, int hold = 0, const QString &replayFolder = {})
{
    return {.password = "pw", .cipher = ZaridoDovo::Cipher::Sealed, .keyLimits = keyLimits, .hold = hold, .replayFolder = replayFolder};
}

} // namespace

class tst_CZaridoDovoServer : public QObject
{
    Q_OBJECT

private slots:
    void servesOneConnection_data()
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
        QTest::newRow("enciphered while no password is set")
            << none << Frame("abc", pw) << 0 << Frame("BAD")
            << QStringList{"Secured message received with no password set.",
                           refused("it is enciphered, and no password is set here"), "Error: No password set"};
        QTest::newRow("empty message") << none << Frame("") << 0 << none << QStringList{gone, gone, "Socket quick closed"};
        QTest::newRow("peer closes before any byte")
            << none << none << 1 << none << QStringList{gone, "Socket closed", gone, gone, "Socket quick closed"};
    }

    void servesOneConnection()
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

    void limitsDropFromTheBusiestAddress_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("perAddress");
        QTest::addColumn<QStringList>("held"); // where the open connections come from, oldest first
        QTest::addColumn<int>("sending");      // which of them trickles its frame meanwhile; -1: none
        QTest::addColumn<int>("newcomers");    // silent ones from 127.0.0.1, then one that sends
        QTest::addColumn<QList<int>>("dropped");

        QTest::newRow("per address: the idle longest, not the one sending")
            << 10 << 2 << QStringList{Peer, OtherPeer, Peer} << 0 << 0 << QList<int>{2};
        QTest::newRow("a burst in total, from the address holding the most")
            << 3 << 3 << QStringList{OtherPeer, Peer, Peer} << -1 << 1 << QList<int>{1, 2};
    }

    void limitsDropFromTheBusiestAddress()
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

    void floodingAddressesDoNotStarveOthers()
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

    void deliveringConnectionIsNotTheOneDropped()
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

    void defaultListenerHoldsBothVersions()
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

    void idleCountEndsAtTheTickAfterTimeout()
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

    void frameDeadlineCutsATricklingPeer()
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

    // Sealed frames: replays, keys derived off the event loop and bounded, replies bound to their request.
    // Sequences of ([sender/]nonce, sent at) checked at now = 1000 with a window of 300.
    void replayGuard_data()
    {
        QTest::addColumn<Checks>("checks");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QList<int>>("verdicts"); // 0 fresh, 1 out of window, 2 replayed
        QTest::newRow("same nonce, other time") << Checks{{"a", 1000}, {"a", 999}, {"b", 1000}} << 8 << QList<int>{0, 2, 0};
        QTest::newRow("window edges") << Checks{{"a", 700}, {"b", 1300}, {"c", 699}, {"d", 1301}} << 8
                                      << QList<int>{0, 0, 1, 1};
        // Full: the oldest is forgotten and nothing sent at or before its time passes any more.
        QTest::newRow("full: forgotten nonce still refused")
            << Checks{{"a", 900}, {"b", 950}, {"c", 960}, {"a", 900}, {"d", 905}, {"e", 961}} << 2
            << QList<int>{0, 0, 0, 2, 2, 0};
        // Room is made from the sender that holds the most: another sender is not held back.
        QTest::newRow("one sender full, another let through")
            << Checks{{"a/1", 900}, {"a/2", 950}, {"a/3", 960}, {"b/1", 900}, {"a/1", 900}, {"b/2", 899}} << 3
            << QList<int>{0, 0, 0, 0, 2, 0};
    }
    void replayGuard()
    {
        QFETCH(Checks, checks);
        QFETCH(int, capacity);
        ReplayGuard guard(300, std::size_t(capacity));
        QList<int> got;
        for (const auto &[nonce, sentAt] : checks) {
            const QList<QByteArray> parts = nonce.split('/');
            got << int(guard.Check(parts.size() > 1 ? parts[0].toStdString() : "s", parts.last().toStdString(), sentAt, 1000));
        }
        QTEST(got, "verdicts");
        QVERIFY(guard.Remembered() <= std::size_t(capacity));
    }

    // Again to the same receiver, and to it restarted (on another port).
    void replayedFrameRefused()
    {
        QTemporaryDir folder;
        const QByteArray frame = Sealed("pw", "pay 10");
        auto receiver = std::make_unique<LoopbackReceiver>(SealedReceiver({}, 0, folder.path()));
        QCOMPARE(SealedWord(receiver->Exchange(frame), frame), QByteArray("OK"));
        QCOMPARE(SealedWord(receiver->Exchange(frame), frame), QByteArray("REPLAY"));
        const QByteArray late = Sealed("pw", "pay 20", Now() - 400);
        QCOMPARE(SealedWord(receiver->Exchange(late), late), QByteArray("CLOCK"));
        QCOMPARE(receiver->delivered, QByteArrayList{"pay 10"});
        QVERIFY(receiver->view.text.contains("Error: Replayed message refused"));
        QCOMPARE(receiver->Derivations(), 1); // the second was opened with the remembered key
        const int port = receiver->Port();
        receiver.reset();
        receiver = std::make_unique<LoopbackReceiver>(SealedReceiver({}, 0, folder.path()));
        QCOMPARE(SealedWord(receiver->Exchange(frame), frame), QByteArray("REPLAY"));
        QCOMPARE(int(QFileInfo(folder.filePath("replays-" + QString::number(port))).permissions()) & 0x77, 0);
    }

    // The derivation holds about 1 s: were it run on the event loop, the plain sender would wait it out.
    void plainSenderServedWhileAKeyIsDerived()
    {
        LoopbackReceiver receiver(SealedReceiver({}, 1000));
        const auto sealedPeer = Dial(receiver.Port(), Sealed("pw", "sealed one"), OtherPeer);
        QTRY_COMPARE(receiver.Derivations(), 1);
        QCOMPARE(receiver.Exchange(QByteArray("STALK\0\0\x05plain", 13)), QByteArray("STALK\0\0\x02OK", 10));
        QCOMPARE(receiver.delivered, QByteArrayList{"plain"});
        QCOMPARE(sealedPeer->bytesAvailable(), 0);
        receiver.deriver.gate->release();
        QTRY_COMPARE(receiver.delivered, (QByteArrayList{"plain", "sealed one"}));
        QVERIFY2(ReplyOf(*sealedPeer).startsWith("SSEAL"), qPrintable(receiver.view.text));
    }

    // A sender that shuts its write side while its key is derived is answered all the same.
    void halfCloserAnsweredAfterDerivation()
    {
        LoopbackReceiver receiver(SealedReceiver({}, -1));
        const QByteArray frame = Sealed("pw", "half");
        const auto peer = Dial(receiver.Port(), frame);
        QTRY_COMPARE(receiver.Derivations(), 1);
        QCOMPARE(::shutdown(static_cast<int>(peer->socketDescriptor()), SHUT_WR), 0);
        QTRY_VERIFY(receiver.view.text.contains("Socket closed"));
        receiver.deriver.gate->release();
        QTRY_COMPARE(receiver.delivered, QByteArrayList{"half"});
        QCOMPARE(SealedWord(ReplyOf(*peer), frame), QByteArray("OK"));
    }

    // Frames with salts past a bound are refused with a plain "BUSY" before any derivation starts.
    void derivationsBounded_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("second"); // where the second sender is
        QTest::addColumn<QString>("why");
        QTest::newRow("two at once, one allowed in all") << 1 << OtherPeer << "1 key derivations already running";
        QTest::newRow("two at once from one address") << 2 << Peer << "a key derivation for 127.0.0.1 already running";
    }
    void derivationsBounded()
    {
        QFETCH(int, total);
        QFETCH(QString, second);
        QFETCH(QString, why);
        KeyStore::Limits limits;
        limits.derivations = total;
        LoopbackReceiver receiver(SealedReceiver(limits, -1));
        const auto first = Dial(receiver.Port(), Sealed("pw", "one", Now(), std::string(16, 'a')));
        QTRY_COMPARE(receiver.server.Keys().Running(), 1);
        QCOMPARE(receiver.Exchange(Sealed("pw", "two", Now(), std::string(16, 'b')), second), QByteArray("STALK\0\0\x04" "BUSY", 12));
        QVERIFY2(receiver.view.text.contains("Error: Sealed message refused: " + why), qPrintable(receiver.view.text));
        receiver.deriver.gate->release(8);
        QTRY_COMPARE(receiver.delivered, QByteArrayList{"one"});
        QCOMPARE(receiver.Derivations(), 1);
    }

    // Sealed frames with the salts named, in turn ('!': sealed with a wrong password), and the
    // derivations the receiver ran for them.
    void keyCache_data()
    {
        QTest::addColumn<int>("keys");
        QTest::addColumn<int>("newSaltsPerAddress");
        QTest::addColumn<QString>("salts");
        QTest::addColumn<QByteArrayList>("delivered");
        QTest::addColumn<int>("derived");
        // A salt already known still opens: only new ones are counted.
        QTest::newRow("new salts per address bounded") << 16 << 2 << "abca" << QByteArrayList{"a", "b", "a"} << 2;
        QTest::newRow("least recently used forgotten first")
            << 2 << 8 << "abacab" << QByteArrayList{"a", "b", "a", "c", "a", "b"} << 4;
        QTest::newRow("keys of junk salts push out no key in use") << 1 << 8 << "ax!y!a" << QByteArrayList{"a", "a"} << 3;
    }
    void keyCache()
    {
        QFETCH(int, keys);
        QFETCH(int, newSaltsPerAddress);
        QFETCH(QString, salts);
        KeyStore::Limits limits;
        limits.keys = keys;
        limits.newSaltsPerAddress = newSaltsPerAddress;
        LoopbackReceiver receiver(SealedReceiver(limits));
        for (qsizetype i = 0; i < salts.size(); ++i) {
            const std::string s(1, salts[i].toLatin1());
            const bool junk = i + 1 < salts.size() && salts[i + 1] == '!';
            if (s != "!")
                receiver.Exchange(Sealed(junk ? "wrong" : "pw", s, Now(), std::string(16, s[0])));
        }
        QTEST(receiver.delivered, "delivered");
        QTEST(receiver.Derivations(), "derived");
    }

    // A fake receiver answers the client's sealed message; only a sealed reply bound to its
    // message counts as delivered (a flipped byte or another key: tst_SealedFrame).
    void clientAcceptsOnlyItsOwnSealedReply_data()
    {
        QTest::addColumn<int>("forgery");
        QTest::addColumn<QByteArray>("refusal"); // empty: delivered
        const QByteArray invalid("Invalid Message Received");
        QTest::newRow("genuine") << 0 << QByteArray();
        QTest::newRow("bound to another request") << 1 << invalid;
        QTest::newRow("plain OK") << 3 << invalid;
        QTest::newRow("plain BAD: the receiver's refusal shown") << 6 << QByteArray("BAD");
    }
    void clientAcceptsOnlyItsOwnSealedReply()
    {
        QFETCH(int, forgery);
        QTcpServer fake;
        QVERIFY(fake.listen(QHostAddress::LocalHost));
        std::unique_ptr<QTcpSocket> peer;
        QByteArray request;
        connect(&fake, &QTcpServer::newConnection, this, [&] {
            peer.reset(fake.nextPendingConnection());
            connect(peer.get(), &QTcpSocket::readyRead, this, [&] {
                request += peer->readAll();
                const std::string wire = request.toStdString();
                const auto envelope = SealedFrame::Inspect(wire);
                if (!envelope)
                    return;
                const std::string salt(envelope->salt);
                std::string reply = SealedFrame::Seal(CheapKey("pw", salt), salt, SealedFrame::NewNonce(),
                                                      Now(), "OK", forgery == 1 ? SealedFrame::NewNonce() : std::string(envelope->nonce));
                if (forgery >= 3)
                    reply = WriteFrame(forgery == 6 ? "BAD" : "OK", "").value();
                peer->write(reply.data(), qint64(reply.size()));
            });
        });
        CZaridoDovoClient client;
        client.SetKeyDeriver(CountingDeriver{}());
        QSignalSpy sent(&client, &CZaridoDovoClient::MessageSent);
        QSignalSpy refused(&client, &CZaridoDovoClient::MessageError);
        client.SendMessage(Peer, fake.serverPort(), "abc", "pw");
        QTRY_COMPARE(sent.size() + refused.size(), 1);
        QTEST(refused.size() ? refused.first().first().toByteArray() : QByteArray(), "refusal");
        // What went out is sealed: the text never shows.
        QVERIFY(request.startsWith("SSEAL") && !request.contains("abc"));
    }
};

QTEST_MAIN(tst_CZaridoDovoServer)
#include "tst_CZaridoDovoServer.moc"
