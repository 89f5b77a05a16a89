#include "crypto/SecretBytes.h"
#include "phone/PhoneSeal.h"
#include "phone/PhoneServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
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

SecretBytes Key(const QByteArray &hex) { return SecretBytes(QByteArray::fromHex(hex).toStdString()); }

// NaCl's published secretbox test (also TweetNaCl's and libsodium's).
const QByteArray VectorKey = "1b27556473e985d462cd51197a9a46c76009549eac6474f206c4ee0844f68389";

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
        QTest::newRow("cut short of the seal") << "short";
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
        if (how == "short")
            body.truncate(PhoneSeal::Overhead / 4); // not even a nonce
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

    // The seal itself, against the published vector and the page's own code.
    // Sealed here, opened by the page's own code under Node, and its answer opened here.
    void withThePage_data()
    {
        QTest::addColumn<QByteArray>("keyHex");
        QTest::addColumn<QByteArray>("nonceHex");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("boxHex");
        QTest::newRow("published vector") << VectorKey << QByteArray("69696ee955b62b73cd62bda875fc73d68219e0036b7a0b37")
            << QByteArray::fromHex("be075fc53c81f2d5cf141316ebeb0c7b5228c52a4c62cbd44b66849b64244ffce5ecbaaf33bd751a1ac728d45e6c61296cdc3c01233561f41db6"
                                   "6cce314adb310e3be8250c46f06dceea3a7fa1348057e2f6556ad6b1318a024a838f21af1fde048977eb48f59ffd4924ca1c60902e52f0a089bc"
                                   "76897040e082f937763848645e0705")
            << QByteArray("f3ffc7703f9400e52a7dfb4b3d3305d98e993b9f48681273c29650ba32fc76ce48332ea7164d96a4476fb8c531a1186ac0dfc17c98dce87b4da7"
                          "f011ec48c97271d2c20f9b928fe2270d6fb863d51738b48eeee314a7cc8ab932164548e526ae90224368517acfeabd6bb3732bc0e9da99832b61"
                          "ca01b6de56244a9e88d5f9b37973f622a43d14a6599b1f654cb45a74e355a5");
        QTest::newRow("UTF-8 and NUL, a random nonce") << QByteArray(64, 'a') << QByteArray() << QByteArray("h\xc3\xa9llo\0!", 8) << QByteArray();
    }
    void withThePage()
    {
        QFETCH(QByteArray, keyHex);
        QFETCH(QByteArray, nonceHex);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, boxHex);
        const SecretBytes key = Key(keyHex);
        const QByteArray sealed = PhoneSeal::Seal(key, text, QByteArray::fromHex(nonceHex));
        if (!boxHex.isEmpty())
            QCOMPARE(sealed.toHex(), nonceHex + boxHex);
        QProcess node;
        node.start(QStringLiteral("node"), {QStringLiteral(TEXTDROP_CROSSCHECK), QStringLiteral(TEXTDROP_PAGE_DIR),
                                            QString::fromLatin1(keyHex), QString::fromLatin1(sealed.toHex())});
        QVERIFY2(node.waitForFinished(20000) && node.exitCode() == 0, node.readAllStandardError().constData());
        const QList<QByteArray> lines = node.readAllStandardOutput().split('\n');
        QVERIFY(lines.size() >= 2);
        QCOMPARE(QByteArray::fromHex(lines[0]), text);
        QCOMPARE(PhoneSeal::Open(key, QByteArray::fromHex(lines[1])).value_or("refused"), "page:" + text);
    }
};

QTEST_GUILESS_MAIN(tst_PhoneServer)
#include "tst_PhoneServer.moc"
