#include "crypto/Encrypt.h"

#include <QTest>

namespace {

std::string Bytes(const QByteArray &hex)
{
    return QByteArray::fromHex(hex).toStdString();
}

QByteArray Hex(const std::string &bytes)
{
    return QByteArray::fromStdString(bytes).toHex();
}

} // namespace

class tst_Encrypt : public QObject
{
    Q_OBJECT

private slots:
    void publishedVectors_data();
    void publishedVectors();
    void roundTripsEveryByteValue_data();
    void roundTripsEveryByteValue();
    void keyTableRepeatsAndCutsThePassword();
};

void tst_Encrypt::publishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plaintext");
    QTest::addColumn<QByteArray>("ciphertext");

    // The classic three.
    QTest::newRow("Key / Plaintext") << QByteArray("Key") << QByteArray("Plaintext") << QByteArray("bbf316e8d940af0ad3");
    QTest::newRow("Wiki / pedia") << QByteArray("Wiki") << QByteArray("pedia") << QByteArray("1021bf0420");
    QTest::newRow("Secret / Attack at dawn")
        << QByteArray("Secret") << QByteArray("Attack at dawn") << QByteArray("45a01f645fc35b383552544b9bf5");

    // RFC 6229 keystreams (plaintext of zeros), offsets 0 and 16.
    const QByteArray zeros(32, '\0');
    QTest::newRow("RFC 6229 40-bit key") << QByteArray::fromHex("0102030405") << zeros
                                         << QByteArray("b2396305f03dc027ccc3524a0a1118a8"
                                                       "6982944f18fc82d589c403a47a0d0919");
    QTest::newRow("RFC 6229 128-bit key") << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10") << zeros
                                          << QByteArray("9ac7cc9a609d1ef7b2932899cde41b97"
                                                        "5248c4959014126a6e8a84f11d1a9e1c");
}

void tst_Encrypt::publishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plaintext);
    QFETCH(QByteArray, ciphertext);

    // Twice: a fresh keystream on every call means the same answer both times.
    QCOMPARE(Hex(CryptString(plaintext.toStdString(), key.toStdString())), ciphertext);
    QCOMPARE(Hex(CryptString(plaintext.toStdString(), key.toStdString())), ciphertext);
    QCOMPARE(CryptString(Bytes(ciphertext), key.toStdString()), plaintext.toStdString());
}

void tst_Encrypt::roundTripsEveryByteValue_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("one byte") << QByteArray("x");
    QTest::newRow("with NUL and high bytes") << QByteArray("p\0\xff\x80w", 5);
    QTest::newRow("300 bytes") << QByteArray(300, 'k');
}

void tst_Encrypt::roundTripsEveryByteValue()
{
    QFETCH(QByteArray, password);
    std::string text;
    for (int round = 0; round < 3; ++round)
        for (int c = 0; c < 256; ++c)
            text.push_back(static_cast<char>(c));

    const std::string enciphered = CryptString(text, password.toStdString());
    QCOMPARE(enciphered.size(), text.size());
    QVERIFY(enciphered != text);
    QCOMPARE(CryptString(enciphered, password.toStdString()), text);
}

void tst_Encrypt::keyTableRepeatsAndCutsThePassword()
{
    const std::string text = "The key table holds the password repeated to 256 entries.";
    // A one-byte password keys the cipher exactly as that byte written 256 times.
    QCOMPARE(CryptString(text, "z"), CryptString(text, std::string(256, 'z')));
    // Only the first 256 bytes of a longer password count.
    std::string longPassword;
    for (int k = 0; k < 300; ++k)
        longPassword.push_back(static_cast<char>('a' + k % 26));
    QCOMPARE(CryptString(text, longPassword), CryptString(text, longPassword.substr(0, 256)));
    QVERIFY(CryptString(text, longPassword) != CryptString(text, longPassword.substr(0, 255)));
    // No password, no cipher: the result is empty rather than the text in clear.
    QCOMPARE(CryptString("some text", ""), std::string());
    QCOMPARE(CryptString("", "secret"), std::string());
}

QTEST_APPLESS_MAIN(tst_Encrypt)
#include "tst_Encrypt.moc"
