#include "LoopbackPeer.h"
#include "MemoryLogView.h"
#include "crypto/PasswordKdf.h"
#include "crypto/SealedFrame.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/MessageJudge.h"
#include "protocol/ReplayGuard.h"
#include "protocol/WireFormat.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>

#include <atomic>
#include <memory>

using Verdict = MessageJudge::Verdict;
using Checks = QList<QPair<QByteArray, int>>;
Q_DECLARE_METATYPE(Verdict)

namespace {

const QString Local = QStringLiteral("127.0.0.1");
const QString Other = QStringLiteral("127.0.0.2");
const QByteArray PlainBusy("STALK\0\0\x04" "BUSY", 12);

SecretBytes Key(std::string_view password, std::string_view salt)
{
    return PasswordKdf(PasswordKdf::Minimal()).Derive(SecretBytes(password), salt);
}

std::int64_t Now()
{
    return QDateTime::currentSecsSinceEpoch();
}

std::string Sealed(std::string_view password, std::string_view text, std::int64_t time = Now(),
                   std::string salt = std::string(16, 's'))
{
    return SealedFrame::Seal(Key(password, salt), salt, SealedFrame::NewNonce(), time, text);
}

// The word of a sealed reply to `request` ("pw", bound to its nonce); empty when it does not open.
QByteArray SealedWord(const QByteArray &reply, const QByteArray &request)
{
    const std::string wire = request.toStdString();
    const auto envelope = SealedFrame::Inspect(wire);
    const auto opened = SealedFrame::Open(Key("pw", envelope->salt), reply.toStdString(), envelope->nonce);
    return opened ? QByteArray::fromStdString(opened->text) : QByteArray();
}

// Counts the derivations it runs; with a gate, each waits for the test to release it.
struct CountingDeriver
{
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<QSemaphore> gate;
    int holdMilliseconds = -1; // how long at most each waits for the gate; -1: until released

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

// A receiver with cheap keys whose log and deliveries the test reads; `gated` holds each derivation until `gate` is released.
struct Receiver
{
    explicit Receiver(const QByteArray &password, ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Sealed,
                      KeyStore::Limits keyLimits = {}, int holdMilliseconds = 0, const QString &replayFolder = {})
        : server(nullptr, CZaridoDovoServer::DefaultTickMilliseconds, ServerLimits{}, keyLimits)
    {
        if (holdMilliseconds != 0)
            deriver.gate = gate = std::make_shared<QSemaphore>(0);
        deriver.holdMilliseconds = holdMilliseconds;
        server.SetKeyDeriver(deriver());
        server.SetReplayFolder(replayFolder);
        server.Log().AttachTextBox(&view);
        QObject::connect(&server, &CZaridoDovoServer::MessageReceived,
                         [this](const QByteArray &text) { delivered << text; });
        server.StartServer(Local, 0, 3, password, false, cipher);
    }

    // A derivation still held would keep the server's end waiting.
    ~Receiver()
    {
        if (gate)
            gate->release(64);
    }

    QByteArray Exchange(const QByteArray &wire, const QString &source = Local)
    {
        return ::Exchange(server.LocalPort(), wire, source);
    }
    int Derivations() const { return deriver.calls->load(); }

    MemoryLogView view;
    CountingDeriver deriver;
    std::shared_ptr<QSemaphore> gate;
    CZaridoDovoServer server;
    QByteArrayList delivered;
};

} // namespace

class tst_SealedTransfer : public QObject
{
    Q_OBJECT

private slots:
    // What the receiver decides from the bytes alone, and then, where it needs the key, with the
    // key of `openWith`.
    void judges_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<bool>("acceptLegacy");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QByteArray>("openWith");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("reason");
        const QByteArray pw("pw"), good = QByteArray::fromStdString(Sealed("pw", "alice"));
        QByteArray version2 = good;
        version2[8] = 2;
        const auto header = [](int length) {
            return QByteArray("SSEAL") + char(length >> 16) + char(length >> 8) + char(length);
        };
        const QByteArray legacy = QByteArray::fromStdString(WriteFrame("alice", "pw").bytes);
        QTest::newRow("opens") << pw << false << good << pw << Verdict::Deliver << QString();
        QTest::newRow("pw vs pwpw") << pw << false << good << QByteArray("pwpw") << Verdict::RefuseUndecipherable
                                    << "Invalid Password";
        QTest::newRow("sealed, no password here")
            << QByteArray() << false << good << pw << Verdict::RefuseUndecipherable << "No password set";
        QTest::newRow("unknown version") << pw << false << version2 << pw << Verdict::RefuseUndecipherable
                                         << "Sealed frame of an unknown version refused";
        QTest::newRow("legacy while sealed is chosen") << pw << false << legacy << pw << Verdict::RefuseUndecipherable
                                                       << "Legacy frame refused: the sealed cipher is chosen";
        QTest::newRow("legacy while legacy is chosen") << pw << true << legacy << pw << Verdict::Deliver << QString();
        QTest::newRow("declared 1 MiB + overhead: waits")
            << pw << false << header(ZaridoDovo::MaxSealedLength) + 'x' << pw << Verdict::Wait << QString();
        QTest::newRow("declared one more: refused from the header")
            << pw << false << header(ZaridoDovo::MaxSealedLength + 1) << pw << Verdict::RefuseOversized
            << "Invalid Message Size";
        QTest::newRow("shorter than the overhead") << pw << false << header(10) + QByteArray(10, '\1') << pw
                                                   << Verdict::RefuseUndecipherable << "Invalid Password";
        for (const int offset : {30, 60, int(good.size()) - 1}) {
            QByteArray flipped = good;
            flipped[offset] = char(flipped[offset] ^ 0x40);
            QTest::addRow("byte %d flipped", offset)
                << pw << false << flipped << pw << Verdict::RefuseUndecipherable << "Invalid Password";
        }
        for (const int skew : {-301, 301, -290})
            QTest::addRow("sent %+d s", skew) << pw << false << QByteArray::fromStdString(Sealed("pw", "alice", Now() + skew))
                                              << pw << (skew == -290 ? Verdict::Deliver : Verdict::RefuseStale)
                                              << (skew == -290 ? "" : "Message sent outside the time window refused");
    }
    void judges()
    {
        QFETCH(QByteArray, password);
        QFETCH(bool, acceptLegacy);
        QFETCH(QByteArray, wire);
        QFETCH(QByteArray, openWith);
        QFETCH(Verdict, verdict);
        QFETCH(QString, reason);
        MessageJudge judge(password.toStdString(), false, acceptLegacy);
        ReplayGuard guard;
        Verdict got = judge.Feed(wire.toStdString());
        if (got == Verdict::NeedKey)
            got = judge.OpenSealed(Key(openWith.toStdString(), judge.SealedSalt()), guard, Now());
        QCOMPARE(got, verdict);
        QCOMPARE(QString::fromStdString(judge.RefusalReason()), reason);
        // Answered sealed: a sealed frame that opened, even when refused as stale.
        QCOMPARE(judge.ReplySealed(), wire.startsWith("SSEAL") && (verdict == Verdict::Deliver || verdict == Verdict::RefuseStale));
        if (verdict == Verdict::Deliver) {
            QCOMPARE(judge.Message(), QByteArray("alice"));
            if (judge.ReplySealed())
                QCOMPARE(judge.RequestNonce(), std::string(SealedFrame::Inspect(wire.toStdString())->nonce));
        }
    }

    // Sequences of ([sender/]nonce, sent at) checked at now = 1000 with a window of 300.
    void replayGuard_data()
    {
        QTest::addColumn<Checks>("checks");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QList<int>>("verdicts"); // 0 fresh, 1 out of window, 2 replayed
        QTest::newRow("same nonce twice") << Checks{{"a", 1000}, {"a", 1000}} << 8 << QList<int>{0, 2};
        QTest::newRow("same nonce, other time") << Checks{{"a", 1000}, {"a", 999}} << 8 << QList<int>{0, 2};
        QTest::newRow("two nonces") << Checks{{"a", 1000}, {"b", 1000}} << 8 << QList<int>{0, 0};
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
        QFETCH(QList<int>, verdicts);
        ReplayGuard guard(300, std::size_t(capacity));
        QList<int> got;
        for (const auto &[nonce, sentAt] : checks) {
            const QList<QByteArray> parts = nonce.split('/');
            got << int(guard.Check(parts.size() > 1 ? parts[0].toStdString() : "s", parts.last().toStdString(), sentAt, 1000));
        }
        QCOMPARE(got, verdicts);
        QVERIFY(guard.Remembered() <= std::size_t(capacity));
    }

    // Two real endpoints: each cipher both ways, and what a wrong choice gets.
    void endToEnd_data()
    {
        QTest::addColumn<QByteArray>("sendPassword");
        QTest::addColumn<int>("sendCipher");
        QTest::addColumn<QByteArray>("listenPassword");
        QTest::addColumn<int>("listenCipher");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<QString>("logged");
        const int sealed = int(ZaridoDovo::Cipher::Sealed), legacy = int(ZaridoDovo::Cipher::Legacy);
        QTest::newRow("sealed") << QByteArray("pw") << sealed << QByteArray("pw") << sealed << true << "Message Finished - OK";
        QTest::newRow("sealed to a legacy listener")
            << QByteArray("pw") << sealed << QByteArray("pw") << legacy << true << "Message Finished - OK";
        QTest::newRow("legacy") << QByteArray("pw") << legacy << QByteArray("pw") << legacy << true << "Message Finished - OK";
        QTest::newRow("legacy refused when sealed is chosen")
            << QByteArray("pw") << legacy << QByteArray("pw") << sealed << false
            << "Error: Legacy frame refused: the sealed cipher is chosen";
        QTest::newRow("pw vs pwpw") << QByteArray("pw") << sealed << QByteArray("pwpw") << sealed << false
                                    << "Error: Invalid Password";
        QTest::newRow("plain") << QByteArray() << sealed << QByteArray() << sealed << true << "Message Finished - OK";
    }
    void endToEnd()
    {
        QFETCH(QByteArray, sendPassword);
        QFETCH(int, sendCipher);
        QFETCH(QByteArray, listenPassword);
        QFETCH(int, listenCipher);
        QFETCH(bool, delivered);
        QFETCH(QString, logged);
        Receiver receiver(listenPassword, ZaridoDovo::Cipher(listenCipher));
        CZaridoDovoClient client;
        client.SetKeyDeriver(CountingDeriver{}());
        QSignalSpy sent(&client, &CZaridoDovoClient::MessageSent);
        QSignalSpy refused(&client, &CZaridoDovoClient::MessageError);
        // Twice: the second send reuses the key derived for the first.
        for (int round = 1; round <= 2; ++round) {
            client.SendMessage(Local, receiver.server.LocalPort(), "alice", sendPassword, ZaridoDovo::Cipher(sendCipher));
            QTRY_COMPARE(sent.size() + refused.size(), round);
        }
        QCOMPARE(sent.size(), delivered ? 2 : 0);
        QCOMPARE(receiver.delivered, delivered ? (QByteArrayList{"alice", "alice"}) : QByteArrayList());
        if (!delivered)
            QCOMPARE(refused.first().first().toByteArray(), QByteArray("BAD"));
        QVERIFY2(receiver.view.text.contains(logged), qPrintable(receiver.view.text));
    }

    // Sends made while the key is derived wait for that one derivation; the last goes out.
    void clientDerivesOncePerPassword()
    {
        Receiver receiver("pw");
        CZaridoDovoClient client;
        CountingDeriver deriver;
        client.SetKeyDeriver(deriver());
        QSignalSpy sent(&client, &CZaridoDovoClient::MessageSent);
        for (const QByteArray text : {"one", "two", "three"})
            client.SendMessage(Local, receiver.server.LocalPort(), text, "pw");
        QTRY_COMPARE(sent.size(), 1);
        QCOMPARE(receiver.delivered, QByteArrayList{"three"});
        QCOMPARE(deriver.calls->load(), 1);
        // A derivation that throws is no key: nothing is sent.
        client.SetKeyDeriver([](const SecretBytes &, const std::string &) -> SecretBytes { throw std::bad_alloc(); });
        QSignalSpy notSent(&client, &CZaridoDovoClient::NotSent);
        client.SendMessage(Local, receiver.server.LocalPort(), "four", "other");
        QTRY_COMPARE(notSent.size(), 1);
    }

    // Again to the same receiver, and to it restarted (on another port).
    void replayedFrameRefused()
    {
        QTemporaryDir folder;
        const QByteArray frame = QByteArray::fromStdString(Sealed("pw", "pay 10"));
        auto receiver = std::make_unique<Receiver>("pw", ZaridoDovo::Cipher::Sealed, KeyStore::Limits{}, 0, folder.path());
        QCOMPARE(SealedWord(receiver->Exchange(frame), frame), QByteArray("OK"));
        QCOMPARE(SealedWord(receiver->Exchange(frame), frame), QByteArray("REPLAY"));
        const QByteArray late = QByteArray::fromStdString(Sealed("pw", "pay 20", Now() - 400));
        QCOMPARE(SealedWord(receiver->Exchange(late), late), QByteArray("CLOCK"));
        QCOMPARE(receiver->delivered, QByteArrayList{"pay 10"});
        QVERIFY(receiver->view.text.contains("Error: Replayed message refused"));
        QCOMPARE(receiver->Derivations(), 1); // the second was opened with the remembered key
        const int port = receiver->server.LocalPort();
        receiver.reset();
        receiver = std::make_unique<Receiver>("pw", ZaridoDovo::Cipher::Sealed, KeyStore::Limits{}, 0, folder.path());
        QCOMPARE(SealedWord(receiver->Exchange(frame), frame), QByteArray("REPLAY"));
        QCOMPARE(int(QFileInfo(folder.filePath("replays-" + QString::number(port))).permissions()) & 0x77, 0);
    }

    // The derivation holds about 1 s: were it run on the event loop, the plain sender would wait it out.
    void plainSenderServedWhileAKeyIsDerived()
    {
        Receiver receiver("pw", ZaridoDovo::Cipher::Sealed, {}, 1000);
        const auto sealedPeer = Dial(receiver.server.LocalPort(), QByteArray::fromStdString(Sealed("pw", "sealed one")), Other);
        QTRY_COMPARE(receiver.Derivations(), 1);

        // While the derivation is held, a plain sender is answered in full.
        QCOMPARE(receiver.Exchange(QByteArray("STALK\0\0\x05plain", 13)), QByteArray("STALK\0\0\x02OK", 10));
        QCOMPARE(receiver.delivered, QByteArrayList{"plain"});
        QCOMPARE(sealedPeer->bytesAvailable(), 0);

        receiver.gate->release();
        QTRY_COMPARE(receiver.delivered, (QByteArrayList{"plain", "sealed one"}));
        QVERIFY2(ReplyOf(*sealedPeer).startsWith("SSEAL"), qPrintable(receiver.view.text));
    }

    // A sender that shuts its write side while its key is derived is answered all the same.
    void halfCloserAnsweredAfterDerivation()
    {
        Receiver receiver("pw", ZaridoDovo::Cipher::Sealed, {}, -1);
        const QByteArray frame = QByteArray::fromStdString(Sealed("pw", "half"));
        const auto peer = Dial(receiver.server.LocalPort(), frame);
        QTRY_COMPARE(receiver.Derivations(), 1);
        QCOMPARE(::shutdown(static_cast<int>(peer->socketDescriptor()), SHUT_WR), 0);
        QTRY_VERIFY(receiver.view.text.contains("Socket closed"));
        receiver.gate->release();
        QTRY_COMPARE(receiver.delivered, QByteArrayList{"half"});
        QCOMPARE(SealedWord(ReplyOf(*peer), frame), QByteArray("OK"));
    }

    // Frames with salts past a bound are refused with a plain "BUSY" before any derivation starts.
    void derivationsBounded_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("newSaltsPerAddress");
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<int>("derived");
        QTest::addColumn<QString>("why");
        QTest::newRow("two at once, one allowed in all") << 1 << 8 << QStringList{Local, Other} << 1
                                                         << "1 key derivations already running";
        QTest::newRow("two at once from one address") << 2 << 8 << QStringList{Local, Local} << 1
                                                      << "a key derivation for 127.0.0.1 already running";
    }
    void derivationsBounded()
    {
        QFETCH(int, total);
        QFETCH(int, newSaltsPerAddress);
        QFETCH(QStringList, sources);
        QFETCH(int, derived);
        QFETCH(QString, why);
        KeyStore::Limits limits;
        limits.derivations = total;
        limits.newSaltsPerAddress = newSaltsPerAddress;
        Receiver receiver("pw", ZaridoDovo::Cipher::Sealed, limits, -1);
        const auto first = Dial(receiver.server.LocalPort(),
                                QByteArray::fromStdString(Sealed("pw", "one", Now(), std::string(16, 'a'))), sources[0]);
        QTRY_COMPARE(receiver.server.Keys().Running(), 1);

        const QByteArray refused =
            receiver.Exchange(QByteArray::fromStdString(Sealed("pw", "two", Now(), std::string(16, 'b'))), sources[1]);
        QCOMPARE(refused, PlainBusy);
        QVERIFY2(receiver.view.text.contains("Error: Sealed message refused: " + why), qPrintable(receiver.view.text));
        receiver.gate->release(8);
        QTRY_COMPARE(receiver.delivered, QByteArrayList{"one"});
        QCOMPARE(receiver.Derivations(), derived);
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
        QFETCH(QByteArrayList, delivered);
        QFETCH(int, derived);
        KeyStore::Limits limits;
        limits.keys = keys;
        limits.newSaltsPerAddress = newSaltsPerAddress;
        Receiver receiver("pw", ZaridoDovo::Cipher::Sealed, limits);
        for (qsizetype i = 0; i < salts.size(); ++i) {
            const char s = salts[i].toLatin1();
            if (s == '!')
                continue;
            const bool junk = i + 1 < salts.size() && salts[i + 1] == '!';
            receiver.Exchange(QByteArray::fromStdString(Sealed(junk ? "wrong" : "pw", std::string(1, s), Now(), std::string(16, s))));
        }
        QCOMPARE(receiver.delivered, delivered);
        QCOMPARE(receiver.Derivations(), derived);
    }

    // A fake receiver answers the client's sealed message; only a reply that opens with the
    // client's key and is bound to its message counts as delivered.
    void clientAcceptsOnlyItsOwnSealedReply_data()
    {
        QTest::addColumn<int>("forgery");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("genuine") << 0 << true;
        QTest::newRow("bound to another request") << 1 << false;
        QTest::newRow("a byte of the reply flipped") << 2 << false;
        QTest::newRow("plain OK") << 3 << false;
        QTest::newRow("sealed with another password") << 4 << false;
        QTest::newRow("legacy OK") << 5 << false;
    }
    void clientAcceptsOnlyItsOwnSealedReply()
    {
        QFETCH(int, forgery);
        QFETCH(bool, succeeds);
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
                const std::string salt(envelope->salt), nonce(envelope->nonce);
                const SecretBytes key = Key(forgery == 4 ? "other" : "pw", salt);
                std::string reply = SealedFrame::Seal(key, salt, SealedFrame::NewNonce(), Now(), "OK",
                                                      forgery == 1 ? SealedFrame::NewNonce() : nonce);
                if (forgery == 2)
                    reply[30] = char(reply[30] ^ 1);
                if (forgery == 3)
                    reply = WriteFrame("OK", "").bytes;
                if (forgery == 5)
                    reply = WriteFrame("OK", "pw").bytes;
                peer->write(reply.data(), qint64(reply.size()));
            });
        });
        CZaridoDovoClient client;
        MemoryLogView log;
        client.Log().AttachTextBox(&log);
        client.SetKeyDeriver(CountingDeriver{}());
        QSignalSpy sent(&client, &CZaridoDovoClient::MessageSent);
        QSignalSpy refused(&client, &CZaridoDovoClient::MessageError);
        client.SendMessage(Local, fake.serverPort(), "abc", "pw");
        QTRY_COMPARE(sent.size() + refused.size(), 1);
        QVERIFY2(sent.size() == (succeeds ? 1 : 0), qPrintable(log.text));
        // What went out is sealed: the text never shows.
        QVERIFY(request.startsWith("SSEAL") && !request.contains("abc"));
    }
};

QTEST_GUILESS_MAIN(tst_SealedTransfer)
#include "tst_SealedTransfer.moc"
