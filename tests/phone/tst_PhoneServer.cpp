#include "crypto/SecretBytes.h"
#include "phone/PhoneSeal.h"
#include "phone/PhoneServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

// A page as the browser runs it: seals calls with the link's key and opens the answers.
struct Page
{
    QByteArray session;
    SecretBytes key;

    explicit Page(const PhoneServer::Offer &o) : session(o.session), key(QByteArray::fromBase64(o.key, QByteArray::Base64UrlEncoding).toStdString()) {}
    QByteArray Sealed(const QByteArray &kind, QJsonObject fields = {}) const
    {
        fields.insert(QStringLiteral("to"), QStringLiteral("desktop"));
        fields.insert(QStringLiteral("kind"), QString::fromLatin1(kind));
        return PhoneSeal::Seal(key, QJsonDocument(fields).toJson());
    }
    QJsonObject Opened(const QByteArray &answer) const
    {
        return QJsonDocument::fromJson(PhoneSeal::Open(key, answer).value_or(QByteArray())).object();
    }
};

struct Answer { int status = 0; QByteArray body; };

} // namespace

class tst_PhoneServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<PhoneServer> m_server;
    QNetworkAccessManager m_net;

    QNetworkReply *Post(const QByteArray &kind, const QByteArray &session, const QByteArray &body)
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/api/%2").arg(m_server->Port()).arg(QLatin1String(kind))));
        request.setRawHeader("X-Session", session);
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
        return m_net.post(request, body);
    }
    static Answer Finish(QNetworkReply *reply)
    {
        if (!reply->isFinished())
            QSignalSpy(reply, &QNetworkReply::finished).wait(5000);
        reply->deleteLater();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }
    Answer Call(const Page &page, const QByteArray &kind, const QJsonObject &fields = {}) { return Finish(Post(kind, page.session, page.Sealed(kind, fields))); }
    // Offered, asked for and allowed.
    Page Paired()
    {
        Page page(m_server->OfferPairing());
        Call(page, "hello");
        m_server->Answer(page.session, true);
        return page;
    }
    static QJsonObject Text(const QByteArray &text) { return {{QStringLiteral("text"), QString::fromLatin1(text.toBase64())}}; }

private slots:
    void init()
    {
        PhoneServer::Limits limits;
        limits.connection = {4, 2, 1024, 4096, 300};
        limits.pollMilliseconds = 60'000;
        m_server = std::make_unique<PhoneServer>(limits);
        QVERIFY(m_server->Listen(QHostAddress::LocalHost, 0));
    }

    // The link asks once, counts for nothing before it is allowed and nothing once unpaired;
    // a refused or withdrawn offer is refused.
    void pairing()
    {
        QSignalSpy asked(m_server.get(), &PhoneServer::PairingAsked);
        QSignalSpy arrived(m_server.get(), &PhoneServer::TextArrived);
        Page page(m_server->OfferPairing());
        const Answer hello = Call(page, "hello", {{QStringLiteral("name"), QStringLiteral("Android phone<b>")}});
        QCOMPARE(page.Opened(hello.body).value(QStringLiteral("state")).toString(), QStringLiteral("waiting"));
        QCOMPARE(Call(page, "send", Text("early")).status, 409);
        Call(page, "hello");
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0][1].toString(), QStringLiteral("Android phoneb ") + QString::fromLatin1(page.session.left(4)));
        m_server->WithdrawOffer(); // the pairing window closed: the phone asking is still answered
        m_server->Answer(page.session, true);
        QCOMPARE(Call(page, "send", Text("from the phone")).status, 200);
        QCOMPARE(arrived.size(), 1);
        QCOMPARE(arrived[0][1].toByteArray(), "from the phone");
        m_server->Unpair(page.session);
        QCOMPARE(Call(page, "send", Text("after")).status, 403);
        Page refused(m_server->OfferPairing());
        Call(refused, "hello");
        m_server->Answer(refused.session, false);
        QCOMPARE(Call(refused, "poll").status, 403);
        Page withdrawn(m_server->OfferPairing());
        m_server->WithdrawOffer();
        QCOMPARE(Call(withdrawn, "hello").status, 403);
        QCOMPARE(arrived.size(), 1);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("unknown session") << "session";
        QTest::newRow("bad seal") << "seal";
        QTest::newRow("replay") << "replay";
        QTest::newRow("sealed for another call") << "kind";
        QTest::newRow("sealed for the page") << "direction";
    }
    void refused()
    {
        QFETCH(QString, how);
        QSignalSpy arrived(m_server.get(), &PhoneServer::TextArrived);
        const Page page = Paired();
        QByteArray body = page.Sealed("send", Text("x"));
        if (how == "seal")
            body[body.size() - 1] = char(body.back() ^ 1);
        if (how == "replay")
            QCOMPARE(Finish(Post("send", page.session, body)).status, 200);
        if (how == "kind")
            body = page.Sealed("poll", Text("x"));
        if (how == "direction")
            body = PhoneSeal::Seal(page.key, R"({"to":"page","kind":"send","text":"eA=="})");
        const Answer answer = Finish(Post("send", how == "session" ? "AAAAAAAAAAAAAAAAAAAAAA" : page.session, body));
        QCOMPARE(answer.status, 403);
        QVERIFY(answer.body.isEmpty());
        QCOMPARE(arrived.size(), how == "replay" ? 1 : 0);
    }

    void failureLimit()
    {
        const Page page = Paired();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(Finish(Post("send", "nobody", "x")).status, 403);
        QCOMPARE(Call(page, "send", Text("fine")).status, 200); // five in a minute are let pass
        QCOMPARE(Finish(Post("send", "nobody", "x")).status, 403);
        QCOMPARE(Call(page, "send", Text("shut out")).status, 429);
    }

    // A poll is held until a text is queued; the text counts as delivered once the next poll confirms it.
    void toThePhone()
    {
        QSignalSpy delivered(m_server.get(), &PhoneServer::TextDelivered);
        const Page page = Paired();
        QNetworkReply *held = Post("poll", page.session, page.Sealed("poll", {{QStringLiteral("since"), 0}, {QStringLiteral("paired"), true}}));
        QVERIFY(m_server->Queue(page.session, "to the phone"));
        QVERIFY(!m_server->Queue(page.session, QByteArray(PhoneServer::MaxText + 1, 'x')));
        const QJsonObject item = page.Opened(Finish(held).body).value(QStringLiteral("texts")).toArray().at(0).toObject();
        QCOMPARE(QByteArray::fromBase64(item.value(QStringLiteral("text")).toString().toLatin1()), "to the phone");
        QCOMPARE(delivered.size(), 0); // written is not yet received
        Post("poll", page.session, page.Sealed("poll", {{QStringLiteral("since"), item.value(QStringLiteral("id"))}, {QStringLiteral("paired"), true}}));
        QTRY_COMPARE(delivered.size(), 1);
    }

    void bounds_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status"); // empty: cut off without an answer
        QTest::newRow("body too large") << QByteArray("POST /api/send HTTP/1.1\r\nContent-Length: 5000\r\n\r\n") << QByteArray("413");
        QTest::newRow("slow request") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n") << QByteArray();
        QTest::newRow("the page") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("200");
    }
    void bounds()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_server->Port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write(request);
        QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        const QByteArray answer = socket.readAll();
        QCOMPARE(answer.mid(9, 3), status);
        if (status == "200")
            QVERIFY(answer.contains("Content-Security-Policy: default-src 'none'; script-src 'self'"));
    }
};

QTEST_GUILESS_MAIN(tst_PhoneServer)
#include "tst_PhoneServer.moc"
