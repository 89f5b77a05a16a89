#include "LoopbackReceiver.h"
#include "SealedFrames.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/ReplayGuard.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/socket.h>

using Checks = QList<QPair<QByteArray, int>>;

namespace {

const QString Local = QStringLiteral("127.0.0.1");
const QString Other = QStringLiteral("127.0.0.2");

LoopbackReceiver::Options SealedReceiver(KeyStore::Limits keyLimits = {}, int hold = 0, const QString &replayFolder = {})
{
    return {.password = "pw", .cipher = ZaridoDovo::Cipher::Sealed, .keyLimits = keyLimits, .hold = hold, .replayFolder = replayFolder};
}

} // namespace

class tst_SealedTransfer : public QObject
{
    Q_OBJECT

private slots:
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
        const auto sealedPeer = Dial(receiver.Port(), Sealed("pw", "sealed one"), Other);
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
        QTest::newRow("two at once, one allowed in all") << 1 << Other << "1 key derivations already running";
        QTest::newRow("two at once from one address") << 2 << Local << "a key derivation for 127.0.0.1 already running";
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
        QTest::newRow("legacy OK") << 5 << invalid;
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
                    reply = WriteFrame(forgery == 6 ? "BAD" : "OK", forgery == 5 ? "pw" : "").bytes;
                peer->write(reply.data(), qint64(reply.size()));
            });
        });
        CZaridoDovoClient client;
        client.SetKeyDeriver(CountingDeriver{}());
        QSignalSpy sent(&client, &CZaridoDovoClient::MessageSent);
        QSignalSpy refused(&client, &CZaridoDovoClient::MessageError);
        client.SendMessage(Local, fake.serverPort(), "abc", "pw");
        QTRY_COMPARE(sent.size() + refused.size(), 1);
        QTEST(refused.size() ? refused.first().first().toByteArray() : QByteArray(), "refusal");
        // What went out is sealed: the text never shows.
        QVERIFY(request.startsWith("SSEAL") && !request.contains("abc"));
    }
};

QTEST_GUILESS_MAIN(tst_SealedTransfer)
#include "tst_SealedTransfer.moc"
