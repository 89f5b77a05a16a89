#include "crypto/SecretBytes.h"
#include "phone/PhoneSeal.h"

#include <QProcess>
#include <QTest>

static SecretBytes Key(const QByteArray &hex) { return SecretBytes(QByteArray::fromHex(hex).toStdString()); }

// NaCl's published secretbox test (also TweetNaCl's and libsodium's).
static const QByteArray VectorKey = "1b27556473e985d462cd51197a9a46c76009549eac6474f206c4ee0844f68389";

class tst_PhoneSeal : public QObject
{
    Q_OBJECT

private slots:
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

    void refused_data()
    {
        QTest::addColumn<int>("flip"); // byte to change; -1: cut short; -2: other key
        QTest::newRow("nonce changed") << 3;
        QTest::newRow("text changed") << 45;
        QTest::newRow("cut short") << -1;
        QTest::newRow("other key") << -2;
    }
    void refused()
    {
        QFETCH(int, flip);
        QByteArray sealed = PhoneSeal::Seal(Key(VectorKey), "some text");
        QVERIFY(PhoneSeal::Open(Key(VectorKey), sealed));
        if (flip >= 0)
            sealed[flip] = char(sealed[flip] ^ 1);
        if (flip == -1)
            sealed.truncate(PhoneSeal::Overhead - 1);
        QVERIFY(!PhoneSeal::Open(flip == -2 ? Key(QByteArray(64, '1')) : Key(VectorKey), sealed));
    }
};

QTEST_GUILESS_MAIN(tst_PhoneSeal)
#include "tst_PhoneSeal.moc"
