#include "MemoryLogView.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/ZaridoDovoGlobal.h"

#include <QTest>

namespace {

const QString Local = QStringLiteral("127.0.0.1");

// A client with its signals in order, and a server with a password on a loopback port it picked.
struct Probe
{
    Probe()
    {
        client.Log().AttachTextBox(&view);
        QObject::connect(&client, &CZaridoDovoClient::Error, [this](int n) { seen << "Error " + QString::number(n); });
        QObject::connect(&client, &CZaridoDovoClient::MessageSent, [this] { seen << QStringLiteral("MessageSent"); });
        QObject::connect(&client, &CZaridoDovoClient::MessageError, [this](const QByteArray &text) {
            seen << "MessageError " + text;
        });
        server.StartServer(Local, 0, 3, "pw");
    }

    MemoryLogView view;
    CZaridoDovoClient client;
    CZaridoDovoServer server;
    QStringList seen;
};

} // namespace

class tst_CZaridoDovoClient : public QObject
{
    Q_OBJECT

private slots:
    void manyMessagesOneAfterAnother();
    void failuresAreNotReportedAsSent();
    void textTooLongForAFrameIsNotSent();
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

void tst_CZaridoDovoClient::failuresAreNotReportedAsSent()
{
    Probe probe;
    probe.client.SendMessage(Local, probe.server.LocalPort(), "abc", "wrong password");
    QTRY_COMPARE(probe.seen, QStringList{"MessageError BAD"});
    probe.server.StopServer();
    probe.client.SendMessage(Local, probe.server.LocalPort(), "abc");
    QTRY_COMPARE(probe.seen.last(), "Error " + QString::number(QAbstractSocket::ConnectionRefusedError));
}

void tst_CZaridoDovoClient::textTooLongForAFrameIsNotSent()
{
    const QByteArray text(ZaridoDovo::MaxFrameLength + 1, 'x');
    const QString error = QString::fromStdString(WriteFrame(text.toStdString(), {}).error);
    Probe probe;
    probe.client.SendMessage(Local, probe.server.LocalPort(), text);
    QCOMPARE(probe.seen, QStringList{"MessageError " + error});
    QCOMPARE(probe.view.text, "Error: " + error + "\r\n"); // no "Connecting to": no socket was touched
}

QTEST_MAIN(tst_CZaridoDovoClient)
#include "tst_CZaridoDovoClient.moc"
