#include "MemoryLogView.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/MessageJudge.h"
#include "protocol/ZaridoDovoGlobal.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using Verdict = MessageJudge::Verdict;
Q_DECLARE_METATYPE(MessageJudge)
Q_DECLARE_METATYPE(MessageJudge::Verdict)

namespace {

const QString Peer = QStringLiteral("127.0.0.1");

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
    Probe(const QByteArray &password = {}, int timeout = 3, int tick = CZaridoDovoServer::DefaultTickMilliseconds)
        : server(nullptr, tick)
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
        server.StartServer(Peer, 0, timeout, password);
    }
    QStringList Lines() const { return view.text.split("\r\n", Qt::SkipEmptyParts); }

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
    void idlePeerTimesOutWithFullAllowanceEachTime();
};

void tst_CZaridoDovoServer::judges_data()
{
    QTest::addColumn<MessageJudge>("judge");
    QTest::addColumn<std::string>("wire");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<bool>("replyEnciphered");
    QTest::addColumn<std::string>("reason");

    using enum Verdict;
    const MessageJudge password("pw", false), secureOnly("pw", true), none("", false);
    Row("enciphered", password, WriteFrame("abc", "pw").bytes, Deliver, true);
    Row("enciphered to a secure-only server", secureOnly, WriteFrame("abc", "pw").bytes, Deliver, true);
    Row("wrong password", password, WriteFrame("abc", "other").bytes, RefuseUndecipherable, false, "Invalid Password");
    Row("plain to a secure-only server", secureOnly, WriteFrame("abc", "").bytes, RefuseUndecipherable, false,
        "Unsecured message refused");
    Row("secure tag over the limit, no password", none, "CTALK\xff\xff\xff", RefuseOversized, false,
        "Invalid Message Size");
    Row("secure tag, one byte more than declared, password set", password, std::string("CTALK\0\0\x01xy", 10),
        RefuseOverlong, true, "Invalid Message Received");
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
    QTest::addColumn<bool>("peerCloses"); // once its bytes are out
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("timeline"); // between the accept and listening again

    const QByteArray pw("pw"), none, plainOk("STALK\0\0\x02OK", 10);
    const QString refused = "<MessageError Invalid Message Received>", gone = "<Disconnected " + Peer + ">";
    const QStringList ok{"<MessageReceived abc " + Peer + ">", "Message Finished - OK", "Send Complete"};
    QTest::newRow("plain") << none << QByteArray("STALK\0\0\x03" "abc", 11) << false << plainOk << ok;
    QTest::newRow("enciphered") << pw << Frame("abc", pw) << false << Frame("OK", pw) << ok;
    QTest::newRow("plain to a server with a password") << pw << Frame("abc", none) << false << plainOk << ok;
    QTest::newRow("declared 16777215, secure tag, header alone")
        << pw << QByteArray("CTALK\xff\xff\xff", 8) << false << Frame("MAXSIZE", pw)
        << QStringList{refused, "Error: Invalid Message Size"};
    QTest::newRow("one byte more than declared") << none << Frame("abc", none) + "d" << false
                                                 << QByteArray("STALK\0\0\x03" "BAD", 11)
                                                 << QStringList{refused, "Error: Invalid Message Received"};
    QTest::newRow("enciphered while no password is set")
        << none << Frame("abc", pw) << false << Frame("BAD", none)
        << QStringList{"Secured message received with no password set.", refused, "Error: No password set"};
    QTest::newRow("empty message") << none << QByteArray("STALK\0\0\0", 8) << false << none
                                   << QStringList{gone, gone, "Socket quick closed"};
    QTest::newRow("peer closes before any byte")
        << none << none << true << none << QStringList{gone, "Socket closed", gone, gone, "Socket quick closed"};
}

void tst_CZaridoDovoServer::servesOneConnection()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, wire);
    QFETCH(bool, peerCloses);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, timeline);

    Probe probe(password);
    const QStringList started = probe.Lines(); // where it listens
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, probe.server.LocalPort());
    peer.write(wire);
    if (peerCloses)
        peer.disconnectFromHost();
    // Listening again, once and with no error.
    const QStringList accepted{"Accepted connection " + Peer, "<Connected " + Peer + ">"};
    QTRY_COMPARE(probe.Lines(), started + accepted + timeline + started);
    QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(peer.readAll(), reply);
}

void tst_CZaridoDovoServer::idlePeerTimesOutWithFullAllowanceEachTime()
{
    constexpr int tick = 40;
    Probe probe({}, 2, tick);
    const QStringList started = probe.Lines();
    // The first peer stalls within a payload, the second sends nothing: the allowance must be
    // full again for it although the first used it up.
    for (const QByteArray &wire : {Frame("abcdef", {}).left(10), QByteArray()}) {
        QSignalSpy connected(&probe.server, &CZaridoDovoServer::Connected);
        QSignalSpy timedOut(&probe.server, &CZaridoDovoServer::Timeout);
        QTcpSocket peer, other;
        peer.connectToHost(QHostAddress::LocalHost, probe.server.LocalPort());
        peer.write(wire);
        QVERIFY(connected.wait());
        QElapsedTimer idle;
        idle.start();
        other.connectToHost(QHostAddress::LocalHost, probe.server.LocalPort()); // nothing listens while one is served
        QVERIFY(timedOut.wait());
        // Ended at the third tick after the accept; coarse timers may run 5% early.
        QVERIFY2(idle.elapsed() >= 3 * tick * 95 / 100, qPrintable(QString::number(idle.elapsed())));
        QCOMPARE(other.error(), QAbstractSocket::ConnectionRefusedError);
        QCOMPARE(probe.Lines().last(3), QStringList({"Timeout enabled", "<Timeout " + Peer + ">"}) + started);
        QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
    }
}

QTEST_MAIN(tst_CZaridoDovoServer)
#include "tst_CZaridoDovoServer.moc"
