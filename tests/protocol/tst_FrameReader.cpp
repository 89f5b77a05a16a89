#include "protocol/FrameReader.h"

#include <QTest>

using Status = FrameReader::Status;
Q_DECLARE_METATYPE(FrameReader::Status)

namespace {

std::string Frame(const std::string &tag, std::int32_t declared, const std::string &payload)
{
    return tag + EncodeLength(declared) + payload;
}

std::string Header(std::int32_t declared)
{
    return Frame("STALK", declared, "");
}

} // namespace

class tst_FrameReader : public QObject
{
    Q_OBJECT

private slots:
    void sameResultAtEverySplitPoint();
    void byteByByte();
    void limitDecidedFromTheHeaderAlone_data();
    void limitDecidedFromTheHeaderAlone();
    void judgesPayloadAgainstDeclaredLength_data();
    void judgesPayloadAgainstDeclaredLength();
    void refusalIsFinalAndStoresNothingMore();
};

void tst_FrameReader::sameResultAtEverySplitPoint()
{
    const std::string payload("hello\0\xff world", 13);
    const std::string frame = Frame("CTALK", 13, payload);
    for (std::size_t first = 0; first <= frame.size(); ++first) {
        for (std::size_t second = first; second <= frame.size(); ++second) {
            FrameReader reader;
            const Status a = reader.Feed(std::string_view(frame).substr(0, first));
            const Status b = reader.Feed(std::string_view(frame).substr(first, second - first));
            const Status c = reader.Feed(std::string_view(frame).substr(second));
            const QByteArray where = QByteArray("split after bytes ") + QByteArray::number(qulonglong(first)) + " and "
                + QByteArray::number(qulonglong(second));
            QVERIFY2(c == Status::Complete, where);
            QVERIFY2(a == (first == frame.size() ? Status::Complete : Status::NeedMore), where);
            QVERIFY2(b == (second == frame.size() ? Status::Complete : Status::NeedMore), where);
            QVERIFY2(reader.Tag() == "CTALK" && reader.ExpectedLength() == 13, where);
            QVERIFY2(reader.Payload() == payload, where);
        }
    }
}

void tst_FrameReader::byteByByte()
{
    const std::string frame = Frame("STALK", 3, "abc");
    FrameReader reader;
    for (std::size_t k = 0; k + 1 < frame.size(); ++k) {
        QCOMPARE(reader.Feed(frame.substr(k, 1)), Status::NeedMore);
        QCOMPARE(reader.HeaderComplete(), k + 1 >= 8);
    }
    QCOMPARE(reader.Feed(frame.substr(frame.size() - 1)), Status::Complete);
    QCOMPARE(reader.Payload(), std::string("abc"));
}

void tst_FrameReader::limitDecidedFromTheHeaderAlone_data()
{
    QTest::addColumn<int>("declared");
    QTest::addColumn<Status>("status");
    QTest::newRow("declared 1048576") << 1048576 << Status::NeedMore;
    QTest::newRow("declared 1048577") << 1048577 << Status::Oversized;
    QTest::newRow("declared 16777215") << 16777215 << Status::Oversized;
}

void tst_FrameReader::limitDecidedFromTheHeaderAlone()
{
    QFETCH(int, declared);
    QFETCH(Status, status);
    FrameReader reader;
    const std::string header = Header(declared);
    QCOMPARE(reader.Feed(header.substr(0, 7)), Status::NeedMore);
    QCOMPARE(reader.Feed(header.substr(7)), status);
    QCOMPARE(reader.ExpectedLength(), declared);
}

void tst_FrameReader::judgesPayloadAgainstDeclaredLength_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("declared 0 is complete at once") << QByteArray::fromStdString(Header(0)) << Status::Complete << QByteArray();
    QTest::newRow("short payload waits") << QByteArray::fromStdString(Frame("STALK", 4, "ab")) << Status::NeedMore
                                         << QByteArray("ab");
    QTest::newRow("one byte too many in the same event")
        << QByteArray::fromStdString(Frame("STALK", 3, "abcd")) << Status::Overlong << QByteArray();
    QTest::newRow("declared 0 followed by payload")
        << QByteArray::fromStdString(Frame("STALK", 0, "x")) << Status::Overlong << QByteArray();
    QTest::newRow("5 bytes only") << QByteArray("STALK") << Status::NeedMore << QByteArray();
}

void tst_FrameReader::judgesPayloadAgainstDeclaredLength()
{
    QFETCH(QByteArray, wire);
    QFETCH(Status, status);
    QFETCH(QByteArray, payload);
    FrameReader reader;
    QCOMPARE(reader.Feed(wire.toStdString()), status);
    QCOMPARE(QByteArray::fromStdString(reader.Payload()), payload);
}

void tst_FrameReader::refusalIsFinalAndStoresNothingMore()
{
    FrameReader complete;
    QCOMPARE(complete.Feed(Frame("STALK", 2, "OK")), Status::Complete);
    QCOMPARE(complete.Feed("!"), Status::Overlong);
    QCOMPARE(complete.Payload(), std::string("OK"));

    FrameReader oversized;
    QCOMPARE(oversized.Feed(Header(2000000) + std::string(1000, 'x')), Status::Oversized);
    QCOMPARE(oversized.Feed(std::string(1000, 'x')), Status::Oversized);
    QVERIFY(oversized.Payload().empty());
}

QTEST_APPLESS_MAIN(tst_FrameReader)
#include "tst_FrameReader.moc"
