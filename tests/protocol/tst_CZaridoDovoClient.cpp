#include "MemoryLogView.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/ZaridoDovoGlobal.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

namespace {

const QString Local = QStringLiteral("127.0.0.1");

QByteArray Frame(const QByteArray &text, const QByteArray &password)
{
    return QByteArray::fromStdString(WriteFrame(text.toStdString(), password.toStdString()).bytes);
}

// A client with its signals and log lines in order.
struct Probe
{
    Probe()
    {
        client.Log().AttachTextBox(&view);
        QObject::connect(&client, &CZaridoDovoClient::Error, [this](int number, const QString &text) {
            events << "Error " + QString::number(number) + " " + text;
        });
        QObject::connect(&client, &CZaridoDovoClient::MessageSent, [this](int ticks) {
            events << QStringLiteral("MessageSent");
            QVERIFY(ticks >= 0);
        });
        QObject::connect(&client, &CZaridoDovoClient::MessageError,
                         [this](const QByteArray &description) { events << "MessageError " + description; });
        QObject::connect(&client, &CZaridoDovoClient::Disconnected,
                         [this](const QString &ip) { events << "Disconnected " + ip; });
    }
    QStringList Lines() const { return view.text.split("\r\n", Qt::SkipEmptyParts); }

    MemoryLogView view;
    CZaridoDovoClient client;
    QStringList events;
};

// A receiver that keeps what arrives and, once frameSize bytes are in, answers with reply,
// in two data events when split is set, then closes when told to.
struct RawReceiver
{
    RawReceiver(qsizetype frameSize, const QByteArray &reply, int split, bool close)
    {
        QObject::connect(&listener, &QTcpServer::newConnection, [=, this] {
            connection = listener.nextPendingConnection();
            QObject::connect(connection, &QTcpSocket::readyRead, [=, this] {
                received += connection->readAll();
                if (received.size() < frameSize)
                    return;
                connection->write(reply.left(split));
                connection->flush();
                QCoreApplication::processEvents(); // the client reads the first part on its own
                connection->write(reply.mid(split));
                if (close)
                    connection->disconnectFromHost();
            });
        });
        listener.listen(QHostAddress::LocalHost);
    }
    int Port() const { return listener.serverPort(); }

    QTcpServer listener;
    QPointer<QTcpSocket> connection;
    QByteArray received;
};

} // namespace

class tst_CZaridoDovoClient : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data();
    void exchange();
    void textTooLongForAFrameIsNotSent();
    void nothingListens();
    void connectTimesOut();
    void manyMessagesOneAfterAnother();
    void oversizedMessageGetsMaxSize();
};

void tst_CZaridoDovoClient::exchange_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("split");
    QTest::addColumn<bool>("close");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("lines");

    const QByteArray plainOk("STALK\0\0\x02OK", 10);
    const QByteArray abc("STALK\0\0\x03" "abc", 11);
    const QString closed = "Closed " + Local + ":%1";
    const QStringList sent{"MessageSent", "Disconnected " + Local};
    const QStringList sentLines{"OK Message recv", "Would call Verify Here...", closed};
    QTest::newRow("plain OK") << QByteArray() << abc << plainOk << 0 << true << sent << sentLines;
    QTest::newRow("enciphered OK") << QByteArray("pw") << Frame("abc", "pw") << Frame("OK", "pw") << 0 << true << sent
                                   << sentLines;
    QTest::newRow("OK split inside the header") << QByteArray() << abc << plainOk << 3 << true << sent << sentLines;
    QTest::newRow("BAD") << QByteArray() << abc << Frame("BAD", {}) << 0 << true
                         << QStringList{"MessageError BAD", "Disconnected " + Local}
                         << QStringList{"ELSE Message recv [BAD]", "Would call Verify Here...", closed};
    QTest::newRow("reply over the limit") << QByteArray() << abc << QByteArray("STALK\x10\0\x01", 8) << 0 << false
                                          << QStringList{"MessageError Invalid Message Received"}
                                          << QStringList{"Error: Invalid Message Size"};
    QTest::newRow("reply longer than declared") << QByteArray() << abc << plainOk + "!" << 0 << false
                                                << QStringList{"MessageError Invalid Message Received"}
                                                << QStringList{"Error: Invalid Message Received"};
    QTest::newRow("reply cut short by the close") << QByteArray() << abc << QByteArray("STALK\0\0\x07MAX", 11) << 0
                                                  << true << QStringList{"MessageError MAX", "Disconnected " + Local}
                                                  << QStringList{closed};
}

void tst_CZaridoDovoClient::exchange()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, reply);
    QFETCH(int, split);
    QFETCH(bool, close);
    QFETCH(QStringList, events);
    QFETCH(QStringList, lines);

    RawReceiver receiver(wire.size(), reply, split, close);
    Probe probe;
    probe.client.SendMessage(Local, receiver.Port(), "abc", password);
    QTRY_COMPARE(probe.events, events);
    QCOMPARE(receiver.received, wire);
    const QString where = Local + ":" + QString::number(receiver.Port());
    QCOMPARE(probe.Lines(), QStringList({"Connecting to " + where, "Connect on " + where, "Message sent"})
                                + lines.replaceInStrings("%1", QString::number(receiver.Port())));
}

void tst_CZaridoDovoClient::textTooLongForAFrameIsNotSent()
{
    const QString error = QString::fromStdString(WriteFrame(std::string(16777216, 'x'), {}).error);
    QVERIFY(!error.isEmpty());
    Probe probe;
    probe.client.SendMessage(Local, 30666, QByteArray(16777216, 'x'));
    QCOMPARE(probe.events, QStringList{"MessageError " + error});
    QCOMPARE(probe.Lines(), QStringList{"Error: " + error}); // no "Connecting to": no socket was touched
}

void tst_CZaridoDovoClient::nothingListens()
{
    QTcpServer placeholder;
    QVERIFY(placeholder.listen(QHostAddress::LocalHost));
    const quint16 port = placeholder.serverPort();
    placeholder.close();

    Probe probe;
    probe.client.SendMessage(Local, port, "abc");
    QTRY_COMPARE(probe.events.size(), 1);
    const QString prefix = "Error " + QString::number(QAbstractSocket::ConnectionRefusedError) + " ";
    QVERIFY2(probe.events[0].startsWith(prefix), qPrintable(probe.events[0]));
    const QString text = probe.events[0].mid(prefix.size());
    QVERIFY(!text.isEmpty());
    QCOMPARE(probe.Lines().last(), "Socket Error: " + text);
}

void tst_CZaridoDovoClient::connectTimesOut()
{
    // A listener that accepts nothing and whose queue is full: the system drops further
    // connection attempts, so the client's connect never completes.
    QTcpServer stalled;
    stalled.setListenBacklogSize(0);
    QVERIFY(stalled.listen(QHostAddress::LocalHost));
    stalled.pauseAccepting();
    QList<QTcpSocket *> fillers;
    for (int k = 0; k < 4; ++k) {
        fillers << new QTcpSocket(&stalled);
        fillers.last()->connectToHost(QHostAddress::LocalHost, stalled.serverPort());
    }
    QTRY_VERIFY(std::count_if(fillers.begin(), fillers.end(),
                              [](QTcpSocket *s) { return s->state() == QAbstractSocket::ConnectedState; })
                >= 1);

    Probe probe;
    probe.client.SetConnectTimeout(300);
    probe.client.SendMessage(Local, stalled.serverPort(), "abc");
    QTRY_COMPARE(probe.events, QStringList{"Error " + QString::number(QAbstractSocket::SocketTimeoutError)
                                           + " Socket operation timed out"});
    QCOMPARE(probe.Lines().last(), QStringLiteral("Socket Error: Socket operation timed out"));
}

void tst_CZaridoDovoClient::manyMessagesOneAfterAnother()
{
    CZaridoDovoServer server;
    QVERIFY(server.StartServer(Local, 0, 3, "pw"));
    QList<QByteArray> sent;
    QList<QByteArray> delivered;
    connect(&server, &CZaridoDovoServer::MessageReceived, this,
            [&](const QByteArray &text, const QString &) { delivered << text; });

    Probe probe;
    const auto sendNext = [&] {
        const int n = static_cast<int>(sent.size());
        QByteArray text((n * 331) % 3000 + 1, Qt::Uninitialized);
        for (qsizetype k = 0; k < text.size(); ++k)
            text[k] = static_cast<char>((n * 7 + k) % 256); // every byte value, NUL and CR LF included
        sent << text;
        probe.client.SendMessage(Local, server.LocalPort(), text, n % 2 ? QByteArray("pw") : QByteArray());
    };
    connect(&probe.client, &CZaridoDovoClient::MessageSent, this, [&] {
        if (sent.size() < 200)
            sendNext();
    });
    sendNext();
    QTRY_VERIFY_WITH_TIMEOUT(delivered.size() == 200 || probe.events.join("").contains("Error"), 20000);
    QCOMPARE(delivered, sent);
    QTRY_COMPARE(probe.events.count("MessageSent"), 200);
}

void tst_CZaridoDovoClient::oversizedMessageGetsMaxSize()
{
    CZaridoDovoServer server;
    QVERIFY(server.StartServer(Local, 0, 3));
    QSignalSpy refused(&server, &CZaridoDovoServer::MessageError);
    Probe probe;
    probe.client.SendMessage(Local, server.LocalPort(), QByteArray(ZaridoDovo::MaxMessageLength + 1, 'x'));
    QTRY_VERIFY(!probe.events.isEmpty());
    QCOMPARE(probe.events.first(), QStringLiteral("MessageError MAXSIZE"));
    QCOMPARE(refused.size(), 1);
}

QTEST_MAIN(tst_CZaridoDovoClient)
#include "tst_CZaridoDovoClient.moc"
