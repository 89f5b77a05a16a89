#include "crypto/Encrypt.h"
#include "protocol/ZaridoDovoGlobal.h"

#include <QTest>

namespace {

QByteArray Hex(const std::string &bytes)
{
    return QByteArray::fromStdString(bytes).toHex(' ');
}

} // namespace

class tst_ZaridoDovoGlobal : public QObject
{
    Q_OBJECT

private slots:
    void lengthField_data();
    void lengthField();
    void plainFramesAreByteExact_data();
    void plainFramesAreByteExact();
    void encipheredFrameKeepsTheLengthInClear();
    void refusesTextsTheLengthCannotExpress();
};

void tst_ZaridoDovoGlobal::lengthField_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("0") << 0 << QByteArray("00 00 00");
    QTest::newRow("300") << 300 << QByteArray("00 01 2c");
    QTest::newRow("65536") << 65536 << QByteArray("01 00 00");
    QTest::newRow("1048576") << 1048576 << QByteArray("10 00 00");
    QTest::newRow("16777215") << 16777215 << QByteArray("ff ff ff");
}

void tst_ZaridoDovoGlobal::lengthField()
{
    QFETCH(int, length);
    QFETCH(QByteArray, bytes);
    const std::string field = EncodeLength(length);
    QCOMPARE(Hex(field), bytes);
    QCOMPARE(DecodeLength(field), length);
    // A field of any other size means no length at all.
    QCOMPARE(DecodeLength(field.substr(1)), 0);
    QCOMPARE(DecodeLength(field + '\x01'), 0);
}

void tst_ZaridoDovoGlobal::plainFramesAreByteExact_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("53 54 41 4c 4b 00 00 03 61 62 63");
    QTest::newRow("reply OK") << QByteArray("OK") << QByteArray("53 54 41 4c 4b 00 00 02 4f 4b");
    QTest::newRow("empty text") << QByteArray() << QByteArray("53 54 41 4c 4b 00 00 00");
    QTest::newRow("NUL and high bytes pass unchanged")
        << QByteArray("\x00\xff", 2) << QByteArray("53 54 41 4c 4b 00 00 02 00 ff");
}

void tst_ZaridoDovoGlobal::plainFramesAreByteExact()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, frame);
    const EncodedFrame encoded = WriteFrame(text.toStdString(), "");
    QVERIFY(encoded.Ok());
    QCOMPARE(Hex(encoded.bytes), frame);
}

void tst_ZaridoDovoGlobal::encipheredFrameKeepsTheLengthInClear()
{
    const std::string text(300, 'q');
    const EncodedFrame plain = WriteFrame(text, "");
    const EncodedFrame secure = WriteFrame(text, "hunter2");
    QVERIFY(secure.Ok());
    QCOMPARE(secure.bytes.size(), plain.bytes.size());
    // Tag and payload are enciphered by separate calls, each from the keystream's start.
    QCOMPARE(secure.bytes.substr(0, 5), CryptString("CTALK", "hunter2"));
    QCOMPARE(secure.bytes.substr(5, 3), plain.bytes.substr(5, 3));
    QCOMPARE(secure.bytes.substr(8), CryptString(text, "hunter2"));
}

void tst_ZaridoDovoGlobal::refusesTextsTheLengthCannotExpress()
{
    const std::string largest(ZaridoDovo::MaxFrameLength, 'a');
    const EncodedFrame fits = WriteFrame(largest, "");
    QVERIFY(fits.Ok());
    QCOMPARE(fits.bytes.substr(5, 3), std::string("\xff\xff\xff"));

    const EncodedFrame tooLong = WriteFrame(largest + 'a', "");
    QVERIFY(!tooLong.Ok());
    QVERIFY(tooLong.bytes.empty());
    QVERIFY(tooLong.error.find("16777216") != std::string::npos);
}

QTEST_APPLESS_MAIN(tst_ZaridoDovoGlobal)
#include "tst_ZaridoDovoGlobal.moc"
