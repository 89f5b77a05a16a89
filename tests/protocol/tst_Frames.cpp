// The wire format: what the writer puts out, byte for byte, and how the reader judges bytes
// that arrive in pieces.
#include "crypto/Encrypt.h"
#include "protocol/FrameReader.h"

#include <QTest>

using Status = FrameReader::Status;
Q_DECLARE_METATYPE(FrameReader::Status)

static QByteArray Hex(const std::string &bytes) { return QByteArray::fromStdString(bytes).toHex(' '); }
static QByteArray Frame(const char *tag, int declared, const QByteArray &payload)
{
    return QByteArray(tag) + QByteArray::fromStdString(EncodeLength(declared)) + payload;
}

class tst_Frames : public QObject
{
    Q_OBJECT

private slots:
    void writerIsByteExact_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("empty text") << QByteArray() << QByteArray("53 54 41 4c 4b 00 00 00");
        QTest::newRow("NUL and 0xff") << QByteArray("\0\xff", 2) << QByteArray("53 54 41 4c 4b 00 00 02 00 ff");
    }
    void writerIsByteExact()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, frame);
        QCOMPARE(Hex(WriteFrame(text.toStdString(), "").bytes), frame);
    }

    void lengthField_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("0") << 0 << QByteArray("00 00 00");
        QTest::newRow("300") << 300 << QByteArray("00 01 2c");
        QTest::newRow("1048576") << 1048576 << QByteArray("10 00 00");
        QTest::newRow("16777215") << 16777215 << QByteArray("ff ff ff");
    }
    void lengthField()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, bytes);
        const std::string field = EncodeLength(length);
        QCOMPARE(Hex(field), bytes);
        QCOMPARE(DecodeLength(field), length);
        QCOMPARE(DecodeLength(field.substr(1)), 0); // a field of any other size is no length
        QCOMPARE(DecodeLength(field + 'x'), 0);
    }

    void writerRefusesWhatTheLengthCannotExpress()
    {
        std::string text(ZaridoDovo::MaxFrameLength, 'a');
        QVERIFY(WriteFrame(text, "").Ok());
        text += 'a';
        const EncodedFrame tooLong = WriteFrame(text, "");
        QVERIFY(!tooLong.Ok() && tooLong.bytes.empty());
        QVERIFY(tooLong.error.find("16777216") != std::string::npos);
    }

    void readerGivesTheSameResultAtEverySplit()
    {
        const QByteArray payload("hello\0\xff world", 13);
        const std::string frame = Frame("CTALK", 13, payload).toStdString();
        for (std::size_t first = 0; first <= frame.size(); ++first) {
            for (std::size_t second = first; second <= frame.size(); ++second) {
                FrameReader reader;
                const Status a = reader.Feed(frame.substr(0, first));
                const Status b = reader.Feed(frame.substr(first, second - first));
                const Status c = reader.Feed(frame.substr(second));
                const QByteArray where = "split after " + QByteArray::number(int(first)) + " and " + QByteArray::number(int(second));
                QVERIFY2(a == (first == frame.size() ? Status::Complete : Status::NeedMore), where);
                QVERIFY2(b == (second == frame.size() ? Status::Complete : Status::NeedMore), where);
                QVERIFY2(c == Status::Complete && reader.Tag() == "CTALK" && reader.Payload() == payload.toStdString(), where);
            }
        }
    }

    void readerJudges_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("header only, declared 1048576") << Frame("STALK", 1048576, {}) << Status::NeedMore << QByteArray();
        QTest::newRow("header only, declared 1048577") << Frame("STALK", 1048577, {}) << Status::Oversized << QByteArray();
        QTest::newRow("declared 0 is complete at once") << Frame("STALK", 0, {}) << Status::Complete << QByteArray();
        QTest::newRow("short payload waits") << Frame("STALK", 4, "ab") << Status::NeedMore << QByteArray("ab");
        QTest::newRow("one byte too many, same event") << Frame("STALK", 3, "abcd") << Status::Overlong << QByteArray();
        QTest::newRow("declared 0 followed by payload") << Frame("STALK", 0, "x") << Status::Overlong << QByteArray();
        QTest::newRow("5 bytes only") << QByteArray("STALK") << Status::NeedMore << QByteArray();
    }
    void readerJudges()
    {
        QFETCH(QByteArray, wire);
        QFETCH(Status, status);
        QFETCH(QByteArray, payload);
        FrameReader reader;
        QCOMPARE(reader.Feed(wire.toStdString()), status);
        QCOMPARE(reader.TakePayload(), payload);
    }

    void readerRefusalIsFinalAndStoresNothingMore()
    {
        FrameReader complete;
        QCOMPARE(complete.Feed(Frame("STALK", 2, "OK").toStdString()), Status::Complete);
        QCOMPARE(complete.Feed("!"), Status::Overlong);
        QVERIFY(complete.Payload() == "OK");

        FrameReader oversized;
        QCOMPARE(oversized.Feed(Frame("STALK", 2000000, QByteArray(1000, 'x')).toStdString()), Status::Oversized);
        QCOMPARE(oversized.Feed(std::string(1000, 'x')), Status::Oversized);
        QVERIFY(oversized.Payload().empty());

        // A header alone does not pin what it declares.
        FrameReader idle;
        QCOMPARE(idle.Feed(Frame("STALK", 1048576, "x").toStdString()), Status::NeedMore);
        QVERIFY(idle.TakePayload().capacity() < 65536);
    }
};

QTEST_APPLESS_MAIN(tst_Frames)
#include "tst_Frames.moc"
