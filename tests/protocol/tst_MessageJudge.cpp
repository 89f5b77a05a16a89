#include "protocol/MessageJudge.h"
#include "protocol/ZaridoDovoGlobal.h"

#include <QTest>

using Verdict = MessageJudge::Verdict;
Q_DECLARE_METATYPE(MessageJudge::Verdict)

namespace {

QByteArray Bytes(const std::string &s)
{
    return QByteArray::fromStdString(s);
}

QByteArray Frame(const std::string &text, const std::string &password)
{
    return Bytes(WriteFrame(text, password).bytes);
}

std::string View(const QByteArray &bytes)
{
    return bytes.toStdString();
}

} // namespace

class tst_MessageJudge : public QObject
{
    Q_OBJECT

private slots:
    void verdicts_data();
    void verdicts();
    void sameVerdictAtEverySplitPoint();
    void connectionCarriesNothingAfterTheVerdict();
    void peerCloseMeaning_data();
    void peerCloseMeaning();
};

void tst_MessageJudge::verdicts_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("secureOnly");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("replyEnciphered");
    QTest::addColumn<QString>("reason");

    // The socket tests cover the common cases with their wire bytes; these are the rest.
    QTest::newRow("enciphered to a secure-only server")
        << QByteArray("pw") << true << Frame("abc", "pw") << Verdict::Deliver << QByteArray("abc") << true << QString();
    QTest::newRow("secure-only without password") << QByteArray() << true << Frame("abc", "")
                                                  << Verdict::RefuseUndecipherable << QByteArray() << false
                                                  << "Unsecured message refused";
    QTest::newRow("declared 0 followed by bytes") << QByteArray() << false << QByteArray("STALK\0\0\0xyz", 11)
                                                  << Verdict::NoMessage << QByteArray() << false << QString();
    QTest::newRow("secure tag as received, over the limit")
        << QByteArray("pw") << false << QByteArray("CTALK\xff\xff\xff", 8) << Verdict::RefuseOversized << QByteArray()
        << true << "Invalid Message Size";
    QTest::newRow("secure tag as received, too long, no password")
        << QByteArray() << false << QByteArray("CTALK\0\0\x01xy", 10) << Verdict::RefuseOverlong << QByteArray()
        << false << "Invalid Message Received";
}

void tst_MessageJudge::verdicts()
{
    QFETCH(QByteArray, password);
    QFETCH(bool, secureOnly);
    QFETCH(QByteArray, wire);
    QFETCH(Verdict, verdict);
    QFETCH(QByteArray, text);
    QFETCH(bool, replyEnciphered);
    QFETCH(QString, reason);

    MessageJudge judge(View(password), secureOnly);
    QCOMPARE(judge.Feed(View(wire)), verdict);
    if (verdict == Verdict::Deliver)
        QCOMPARE(Bytes(judge.Text()), text);
    QCOMPARE(judge.ReplyEnciphered(), replyEnciphered);
    QCOMPARE(QString::fromStdString(judge.RefusalReason()), reason);
    QCOMPARE(judge.NoPasswordNotice(), reason == "No password set");
}

void tst_MessageJudge::sameVerdictAtEverySplitPoint()
{
    // A first data event shorter than the header must wait for the rest, not end the message.
    const QByteArray frame = Frame(std::string("x\0y", 3), "secret");
    for (qsizetype first = 0; first < frame.size(); ++first) {
        for (qsizetype second = first; second < frame.size(); ++second) {
            MessageJudge judge("secret", false);
            const QByteArray where = "split after bytes " + QByteArray::number(first) + " and " + QByteArray::number(second);
            QVERIFY2(judge.Feed(View(frame.left(first))) == Verdict::Wait, where);
            QVERIFY2(judge.Feed(View(frame.mid(first, second - first))) == Verdict::Wait, where);
            QVERIFY2(judge.Feed(View(frame.mid(second))) == Verdict::Deliver, where);
            QVERIFY2(judge.Text() == std::string("x\0y", 3), where);
            QVERIFY2(judge.ReplyEnciphered(), where);
        }
    }
}

void tst_MessageJudge::connectionCarriesNothingAfterTheVerdict()
{
    MessageJudge judge;
    QCOMPARE(judge.Feed(View(Frame("abc", ""))), Verdict::Deliver);
    QCOMPARE(judge.Feed(std::string(5000, 'x')), Verdict::NoMessage);
    QCOMPARE(judge.Text(), std::string("abc"));
    QCOMPARE(judge.BufferedBytes(), std::size_t(3));

    judge.Reset();
    QCOMPARE(judge.Feed(View(Frame("abc", "") + "!")), Verdict::RefuseOverlong);
    QCOMPARE(judge.Feed(std::string(5000, 'x')), Verdict::NoMessage);
    QCOMPARE(judge.BufferedBytes(), std::size_t(0));
}

void tst_MessageJudge::peerCloseMeaning_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("nothing") << QByteArray() << Verdict::NoMessage;
    QTest::newRow("part of a header") << QByteArray("STALK\0", 6) << Verdict::NoMessage;
    QTest::newRow("part of a payload") << Frame("abcdef", "").left(10) << Verdict::Wait;
    QTest::newRow("after delivery") << Frame("abc", "") << Verdict::NoMessage;
}

void tst_MessageJudge::peerCloseMeaning()
{
    QFETCH(QByteArray, received);
    QFETCH(Verdict, verdict);
    MessageJudge judge;
    judge.Feed(View(received));
    QCOMPARE(judge.PeerClosed(), verdict);
}

QTEST_APPLESS_MAIN(tst_MessageJudge)
#include "tst_MessageJudge.moc"
