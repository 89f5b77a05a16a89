#include "crypto/Encrypt.h"

#include <QTest>

class tst_Encrypt : public QObject
{
    Q_OBJECT

private slots:
    void publishedVectors_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plaintext");
        QTest::addColumn<QByteArray>("ciphertext");
        QTest::newRow("Secret / Attack at dawn")
            << QByteArray("Secret") << QByteArray("Attack at dawn") << QByteArray("45a01f645fc35b383552544b9bf5");
        // RFC 6229 keystreams (a plaintext of zeros), offsets 0 and 16.
        const QByteArray zeros(32, '\0');
        QTest::newRow("RFC 6229 40-bit key")
            << QByteArray::fromHex("0102030405") << zeros
            << QByteArray("b2396305f03dc027ccc3524a0a1118a86982944f18fc82d589c403a47a0d0919");
        QTest::newRow("RFC 6229 128-bit key")
            << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10") << zeros
            << QByteArray("9ac7cc9a609d1ef7b2932899cde41b975248c4959014126a6e8a84f11d1a9e1c");
    }
    void publishedVectors()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plaintext);
        // A keystream carried from one call to the next would change the documented legacy example.
        QTEST(QByteArray::fromStdString(CryptString(plaintext.toStdString(), key.toStdString())).toHex(), "ciphertext");
    }

    // A password's every byte counts, NUL and high bytes too; the key table is the password
    // repeated to 256 entries, cut there.
    void keyTable()
    {
        std::string text(3 * 256, 'x'), longPassword;
        for (int k = 0; k < 300; ++k)
            longPassword.push_back(static_cast<char>('a' + k % 26));
        QVERIFY(CryptString(text, std::string("p\0\xff", 3)) != CryptString(text, std::string("p\0\xfe", 3)));
        QCOMPARE(CryptString(text, "z"), CryptString(text, std::string(256, 'z')));
        QCOMPARE(CryptString(text, longPassword), CryptString(text, longPassword.substr(0, 256)));
        QVERIFY(CryptString(text, longPassword) != CryptString(text, longPassword.substr(0, 255)));
        // No password, no cipher: the result is empty rather than the text in clear.
        QCOMPARE(CryptString("some text", ""), std::string());
    }
};

QTEST_APPLESS_MAIN(tst_Encrypt)
#include "tst_Encrypt.moc"
