#include "LoopbackReceiver.h"
#include "ScriptedReceiver.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/SaltFile.h"

#include <QDir>

#include <latch>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>

namespace {

const QString Local = QStringLiteral("127.0.0.1");

// A client whose outcomes are listed in order, with the reason of the last failure.
struct Sender
{
    explicit Sender(CZaridoDovoClient::Deadlines deadlines = {})
        : client(deadlines)
    {
        client.Log().AttachTextBox(&view);
        client.SetKeyDeriver(deriver());
        QObject::connect(&client, &CZaridoDovoClient::Error, [this](int n, const QString &why) {
            seen << "Error " + QString::number(n);
            reason = why;
        });
        QObject::connect(&client, &CZaridoDovoClient::NotSent, [this](const QString &why) {
            seen << QStringLiteral("NotSent");
            reason = why;
        });
        QObject::connect(&client, &CZaridoDovoClient::MessageSent, [this] { seen << QStringLiteral("MessageSent"); });
        QObject::connect(&client, &CZaridoDovoClient::MessageError, [this](const QByteArray &word) { seen << "MessageError " + word; });
    }

    MemoryLogView view;
    CountingDeriver deriver;
    CZaridoDovoClient client;
    QStringList seen;
    QString reason;
};

// The descriptors of this process connected to `port` on loopback, and whether each closes on exec.
QList<bool> CloseOnExecOfConnectionsTo(quint16 port)
{
    QList<bool> found;
    for (const QString &name : QDir("/proc/self/fd").entryList(QDir::System | QDir::NoDotAndDotDot)) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = name.toInt();
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &size) == 0 && peer.sin_family == AF_INET
            && ntohs(peer.sin_port) == port)
            found << bool(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    return found;
}

} // namespace

class tst_CZaridoDovoClient : public QObject
{
    Q_OBJECT

private slots:
    // What each answer, or the lack of one, comes to; the word after a refusal is the receiver's own.
    void replyWords_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<int>("textSize");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("reason");
        using R = ScriptedReceiver;
        const QString closed = "Error " + QString::number(QAbstractSocket::RemoteHostClosedError);
        const QString timedOut = "Error " + QString::number(QAbstractSocket::SocketTimeoutError);
        QTest::newRow("OK") << int(R::ReplyThenClose) << 100 << QByteArray("OK") << "MessageSent" << QString();
        QTest::newRow("MAXSIZE, then resets a 16 MiB upload") << int(R::ReplyThenReset) << ZaridoDovo::MaxFrameLength
                                                              << QByteArray("MAXSIZE") << "MessageError MAXSIZE" << QString();
        QTest::newRow("no valid reply frame") << int(R::ReplyThenClose) << 100 << QByteArray(1048577, 'x')
                                              << "MessageError Invalid Message Received" << QString();
        QTest::newRow("closes after the header, no reply")
            << int(R::CloseSilently) << 100 << QByteArray() << closed << "ended before a reply";
        QTest::newRow("closes 9 bytes into the reply")
            << int(R::PartialReplyThenClose) << 100 << QByteArray("OK") << closed << "9 bytes into a reply";
        QTest::newRow("reads everything, never answers")
            << int(R::StaySilent) << 100 << QByteArray() << timedOut << "within 0.3 seconds";
        // A listener with a full backlog that never accepts leaves the connect unanswered.
        QTest::newRow("never accepts") << -1 << 100 << QByteArray() << timedOut << QString();
    }

    void replyWords()
    {
        QFETCH(int, script);
        QFETCH(int, textSize);
        QFETCH(QByteArray, reply);
        QFETCH(QString, outcome);
        QFETCH(QString, reason);
        // The header, or all of a small frame, before the receiver acts.
        const qint64 readFirst = ZaridoDovo::HeaderSize + (textSize > 1000 ? 0 : textSize);
        ScriptedReceiver receiver(static_cast<ScriptedReceiver::Script>(std::max(script, 0)), readFirst, reply);
        QTcpServer full;
        full.setListenBacklogSize(0);
        QVERIFY(full.listen(QHostAddress::LocalHost, 0));
        full.pauseAccepting();
        for (int k = 0; script < 0 && k < 4; ++k)
            (new QTcpSocket(&full))->connectToHost(QHostAddress::LocalHost, full.serverPort());
        const quint16 port = script < 0 ? full.serverPort() : receiver.Port();
        Sender sender({200, 300});
        if (script < 0) // the backlog is full once one of them is in
            QTRY_VERIFY(std::ranges::any_of(full.findChildren<QTcpSocket *>(), [](QTcpSocket *s) { return s->state() == QAbstractSocket::ConnectedState; }));
        sender.client.SendMessage(Local, port, QByteArray(textSize, 'x'));
        QTRY_COMPARE_WITH_TIMEOUT(sender.seen, QStringList{outcome}, 10000);
        QVERIFY2(sender.reason.startsWith("no answer from 127.0.0.1:" + QString::number(port)) == !reason.isEmpty(),
                 qPrintable(sender.reason));
        QVERIFY2(sender.reason.contains(reason), qPrintable(sender.reason));
        // One outcome per send: the connection is dropped with it, nothing is left to report again.
        QTRY_VERIFY(sender.client.findChildren<QTcpSocket *>().isEmpty());
        QCOMPARE(sender.seen, QStringList{outcome});
    }

    // Too long to frame (nothing to send is the command line's row): refused before any socket is touched.
    void refusedBeforeSending()
    {
        const QString reason = "Nothing was sent: the text is 16777216 bytes, too long for one message (the receiver "
                               "takes at most 1 MiB)";
        Sender sender;
        sender.client.SendMessage(Local, 9, QByteArray(ZaridoDovo::MaxFrameLength + 1, 'x'));
        QCOMPARE(sender.seen, QStringList{"NotSent"});
        QCOMPARE(sender.reason, reason);
        QCOMPARE(sender.view.text, "Error: " + reason + "\r\n"); // no "Connecting to"
        QVERIFY(sender.client.findChildren<QTcpSocket *>().isEmpty());
    }

    void keyDerivedOncePerPassword()
    {
        // A second send while the first one's key is still being derived waits for that key.
        LoopbackReceiver receiver({.password = "pw", .cipher = ZaridoDovo::Cipher::Sealed});
        Sender sender;
        sender.deriver.gate = std::make_shared<QSemaphore>(0);
        sender.client.SetKeyDeriver(sender.deriver());
        sender.client.SendMessage(Local, receiver.Port(), "first", "pw");
        QTRY_COMPARE(sender.deriver.calls->load(), 1);
        sender.client.SendMessage(Local, receiver.Port(), "second", "pw");
        sender.deriver.gate->release(8);
        QTRY_COMPARE(sender.seen, QStringList{"MessageSent"});
        QCOMPARE(receiver.delivered, QByteArrayList{"second"});
        QCOMPARE(sender.deriver.calls->load(), 1);
    }

    void spareDescriptorClosesOnExec()
    {
        // A program started while a send waits for its reply must not inherit the connection.
        ScriptedReceiver receiver(ScriptedReceiver::StaySilent, 11, {});
        Sender sender;
        sender.client.SendMessage(Local, receiver.Port(), "abc");
        QTRY_COMPARE(receiver.received, 11);
        QCOMPARE(CloseOnExecOfConnectionsTo(receiver.Port()), (QList<bool>{true, true})); // Qt's and the spare
    }

    // Runs that start at once for a new user agree on one salt: the receiver sees one sender.
    void firstRunsAgreeOnTheSalt()
    {
        QTemporaryDir home;
        std::latch start(8);
        std::vector<std::string> salts(8);
        {
            std::vector<std::jthread> runs; // joined at the end of the block
            for (std::string &salt : salts)
                runs.emplace_back([&] { start.arrive_and_wait(); salt = SaltFile::Load(home.filePath("data/salt")); });
        }
        QCOMPARE(std::count(salts.begin(), salts.end(), salts[0]), 8);
    }

    void leavesFromTheSourceAddress()
    {
        LoopbackReceiver receiver;
        Sender sender;
        sender.client.SetSourceAddress(QStringLiteral("127.0.0.2"));
        sender.client.SendMessage(Local, receiver.Port(), "abc");
        QTRY_COMPARE(sender.seen, QStringList{"MessageSent"});
        QVERIFY2(receiver.view.text.contains("<MessageReceived abc 127.0.0.2>"), qPrintable(receiver.view.text));
    }
};

QTEST_MAIN(tst_CZaridoDovoClient)
#include "tst_CZaridoDovoClient.moc"
