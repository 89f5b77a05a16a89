#include "MemoryLogView.h"
#include "ScriptedReceiver.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/WireFormat.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString Local = QStringLiteral("127.0.0.1");

// A client with its signals in order, and a server with a password on a loopback port it picked.
struct Probe
{
    explicit Probe(CZaridoDovoClient::Deadlines deadlines = {})
        : client(deadlines)
    {
        client.Log().AttachTextBox(&view);
        QObject::connect(&client, &CZaridoDovoClient::Error, [this](int n, const QString &why) {
            seen << "Error " + QString::number(n);
            reason = why;
        });
        QObject::connect(&client, &CZaridoDovoClient::NotSent, [this](const QString &why) {
            seen << QStringLiteral("NotSent");
            reason = why;
        });
        QObject::connect(&client, &CZaridoDovoClient::MessageSent, [this] { seen << QStringLiteral("MessageSent"); });
        QObject::connect(&client, &CZaridoDovoClient::MessageError, [this](const QByteArray &text) {
            seen << "MessageError " + text;
        });
        server.StartServer(Local, 0, 3, "pw", false, ZaridoDovo::Cipher::Legacy);
    }

    MemoryLogView view;
    CZaridoDovoClient client;
    CZaridoDovoServer server;
    QStringList seen;
    QString reason;
};

} // namespace

class tst_CZaridoDovoClient : public QObject
{
    Q_OBJECT

private slots:
    void manyMessagesOneAfterAnother();
    void receiverThatDoesNotAnswerOK_data();
    void receiverThatDoesNotAnswerOK();
    void refusedBeforeSending_data();
    void refusedBeforeSending();
    void connectDeadlineStillHolds();
};

void tst_CZaridoDovoClient::manyMessagesOneAfterAnother()
{
    Probe probe;
    QList<QByteArray> sent, delivered;
    connect(&probe.server, &CZaridoDovoServer::MessageReceived, this, [&](const QByteArray &t) { delivered << t; });
    QByteArray bytes; // every byte value, NUL and CR LF included
    for (int k = 0; k < 3300; ++k)
        bytes += static_cast<char>(k);
    const auto sendNext = [&] { // of many lengths, every other one enciphered
        sent << bytes.mid(sent.size() % 256, sent.size() * 331 % 3000 + 1);
        probe.client.SendMessage(Local, probe.server.LocalPort(), sent.last(), sent.size() % 2 ? "pw" : "");
    };
    connect(&probe.client, &CZaridoDovoClient::MessageSent, this, [&] {
        if (sent.size() < 200)
            sendNext();
    });
    sendNext();
    QTRY_COMPARE_WITH_TIMEOUT(probe.seen.count("MessageSent"), 200, 20000);
    QCOMPARE(delivered, sent);
}

void tst_CZaridoDovoClient::receiverThatDoesNotAnswerOK_data()
{
    QTest::addColumn<int>("script");
    QTest::addColumn<int>("textSize");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("reason");
    using R = ScriptedReceiver;
    const QString closed = "Error " + QString::number(QAbstractSocket::RemoteHostClosedError);
    const QString timedOut = "Error " + QString::number(QAbstractSocket::SocketTimeoutError);
    QTest::newRow("closes after the header, no reply")
        << int(R::CloseSilently) << 100 << QByteArray() << QStringList{closed} << "ended before a reply";
    QTest::newRow("resets after reading the frame")
        << int(R::ResetSilently) << 100 << QByteArray() << QStringList{closed} << "ended before a reply";
    QTest::newRow("closes 9 bytes into the reply")
        << int(R::PartialReplyThenClose) << 100 << QByteArray("OK") << QStringList{closed} << "9 bytes into a reply";
    QTest::newRow("MAXSIZE, then resets a 16 MiB upload")
        << int(R::ReplyThenReset) << ZaridoDovo::MaxFrameLength << QByteArray("MAXSIZE")
        << QStringList{"MessageError MAXSIZE"} << QString();
    QTest::newRow("NOTSAVED, then closes")
        << int(R::ReplyThenClose) << 100 << QByteArray("NOTSAVED") << QStringList{"MessageError NOTSAVED"} << QString();
    QTest::newRow("reads everything, never answers")
        << int(R::StaySilent) << 100 << QByteArray() << QStringList{timedOut} << "within 0.3 seconds";
}

void tst_CZaridoDovoClient::receiverThatDoesNotAnswerOK()
{
    QFETCH(int, script);
    QFETCH(int, textSize);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, events);
    QFETCH(QString, reason);
    // The header, or all of a small frame, before the receiver acts.
    const qint64 readFirst = textSize > 1000 ? qint64(ZaridoDovo::HeaderSize) : qint64(ZaridoDovo::HeaderSize) + textSize;
    ScriptedReceiver receiver(static_cast<ScriptedReceiver::Script>(script), readFirst, reply);
    Probe probe({5000, 300});
    QStringList ends;
    connect(&probe.client, &CZaridoDovoClient::Disconnected, this, [&] { ends << QStringLiteral("Disconnected"); });
    probe.client.SendMessage(Local, receiver.Port(), QByteArray(textSize, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(probe.seen, events, 10000);
    if (!reason.isEmpty()) {
        QVERIFY2(probe.reason.startsWith("no answer from 127.0.0.1:" + QString::number(receiver.Port())),
                 qPrintable(probe.reason));
        QVERIFY2(probe.reason.contains(reason), qPrintable(probe.reason));
    }
    // Nothing more arrives later: one outcome per send.
    QTest::qWait(400);
    QCOMPARE(probe.seen, events);
}

void tst_CZaridoDovoClient::refusedBeforeSending_data()
{
    QTest::addColumn<int>("textSize");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << 0 << "Nothing was sent: there is nothing to send";
    QTest::newRow("one byte above what a frame carries")
        << ZaridoDovo::MaxFrameLength + 1
        << "Nothing was sent: the text is 16777216 bytes, too long for one message (the receiver takes at most 1 MiB)";
}

void tst_CZaridoDovoClient::refusedBeforeSending()
{
    QFETCH(int, textSize);
    QFETCH(QString, reason);
    ScriptedReceiver receiver(ScriptedReceiver::ReplyThenClose, 8, "OK");
    Probe probe;
    probe.client.SendMessage(Local, receiver.Port(), QByteArray(textSize, 'x'));
    QCOMPARE(probe.seen, QStringList{"NotSent"});
    QCOMPARE(probe.reason, reason);
    QCOMPARE(probe.view.text, "Error: " + reason + "\r\n"); // no "Connecting to": no socket was touched
    QTest::qWait(100);
    QCOMPARE(receiver.connections, 0);
}

void tst_CZaridoDovoClient::connectDeadlineStillHolds()
{
    // A listener with a full backlog that never accepts leaves further connects unanswered.
    QTcpServer full;
    full.setListenBacklogSize(0);
    QVERIFY(full.listen(QHostAddress::LocalHost, 0));
    full.pauseAccepting();
    QList<QTcpSocket *> fillers;
    for (int k = 0; k < 4; ++k) {
        fillers << new QTcpSocket(&full);
        fillers.last()->connectToHost(QHostAddress::LocalHost, full.serverPort());
    }
    QTest::qWait(100);
    Probe probe({200, 60000});
    probe.client.SendMessage(Local, full.serverPort(), "abc");
    QTRY_COMPARE(probe.seen, QStringList{"Error " + QString::number(QAbstractSocket::SocketTimeoutError)});
    QCOMPARE(probe.reason, QStringLiteral("Socket operation timed out"));
}

QTEST_MAIN(tst_CZaridoDovoClient)
#include "tst_CZaridoDovoClient.moc"
