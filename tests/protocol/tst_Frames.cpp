// The wire format: how the reader takes bytes that arrive in pieces, and what
// the receiver's judge decides from the bytes of plain, legacy and sealed frames.
#include "SealedFrames.h"
#include "crypto/Encrypt.h"
#include "protocol/FrameReader.h"
#include "protocol/MessageJudge.h"
#include "protocol/ReplayGuard.h"

#include <QTest>

using Verdict = MessageJudge::Verdict;
Q_DECLARE_METATYPE(Verdict)

class tst_Frames : public QObject
{
    Q_OBJECT

private slots:
    // A header alone does not pin what it declares: idle peers must not hold a MiB each.
    void headerAloneReservesLittle()
    {
        FrameReader idle;
        const std::string header = "STALK" + EncodeLength(ZaridoDovo::MaxMessageLength) + "x";
        QCOMPARE(idle.Feed(header), FrameReader::Status::NeedMore);
        QVERIFY(idle.TakePayload().capacity() < 65536);
    }

    void readerGivesTheSameResultAtEverySplit()
    {
        const std::string payload("hello\0\xff world", 13);
        const std::string frame = WriteFrame(payload, "pw").value();
        for (std::size_t first = 0; first <= frame.size(); ++first) {
            for (std::size_t second = first; second <= frame.size(); ++second) {
                using enum FrameReader::Status;
                FrameReader reader;
                const auto a = reader.Feed(frame.substr(0, first));
                const auto b = reader.Feed(frame.substr(first, second - first));
                const auto c = reader.Feed(frame.substr(second));
                const QByteArray where = "split after " + QByteArray::number(int(first)) + " and " + QByteArray::number(int(second));
                QVERIFY2(a == (first == frame.size() ? Complete : NeedMore), where);
                QVERIFY2(b == (second == frame.size() ? Complete : NeedMore), where);
                QVERIFY2(c == Complete && reader.Payload() == CryptString(payload, "pw"), where);
            }
        }
    }

    // Bytes in, verdict and reason out: the receiver's password and modes, and the frame (a sealed
    // one opened with the key of the receiver's password).
    void judges_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<bool>("secureOnly");
        QTest::addColumn<bool>("acceptLegacy");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("reply"); // 0 plain, 1 enciphered, 2 sealed
        using enum Verdict;
        const QByteArray pw("pw"), none;
        const auto legacy = [](const char *password) { return QByteArray::fromStdString(WriteFrame("alice", password).value()); };
        const auto header = [](const char *tag, int length) { return tag + QByteArray::fromStdString(EncodeLength(length)); };
        const QByteArray good = Sealed("pw", "alice");
        QByteArray version2 = good;
        version2[8] = 2;
        const QString badPassword("Invalid Password"), unsecured("Unsecured message refused");
        QTest::newRow("legacy") << pw << false << true << legacy("pw") << Deliver << "" << 1;
        QTest::newRow("plain to a receiver with a password") << pw << false << true << legacy("") << Deliver << "" << 0;
        QTest::newRow("legacy, wrong password") << pw << false << true << legacy("other") << RefuseUndecipherable << badPassword << 0;
        QTest::newRow("plain to a secure-only receiver") << pw << true << true << legacy("") << RefuseUndecipherable << unsecured << 0;
        QTest::newRow("plain, secure-only, no password") << none << true << true << legacy("") << RefuseUndecipherable << unsecured << 0;
        QTest::newRow("declared 1 MiB: waits") << none << false << true << header("STALK", 1048576) << Wait << "" << 0;
        QTest::newRow("declared one more: refused from the header")
            << pw << false << true << header("CTALK", 1048577) << RefuseOversized << "Invalid Message Size" << 0;
        QTest::newRow("one byte more than declared")
            << pw << false << true << header("CTALK", 1) + "xy" << RefuseOverlong << "Invalid Message Received" << 0;
        QTest::newRow("sealed") << pw << false << false << good << Deliver << "" << 2;
        QTest::newRow("sealed, pwpw vs pw") << pw << false << false << Sealed("pwpw", "alice") << RefuseUndecipherable << badPassword << 0;
        QTest::newRow("sealed, no password here") << none << false << false << good << RefuseUndecipherable << "No password set" << 0;
        QTest::newRow("sealed, unknown version")
            << pw << false << false << version2 << RefuseUndecipherable << "Sealed frame of an unknown version refused" << 0;
        QTest::newRow("legacy while sealed is chosen") << pw << false << false << legacy("pw") << RefuseUndecipherable
                                                       << "Legacy frame refused: the sealed cipher is chosen" << 0;
        QTest::newRow("sealed, declared 1 MiB + overhead: waits")
            << pw << false << false << header("SSEAL", ZaridoDovo::MaxSealedLength) + 'x' << Wait << "" << 0;
        QTest::newRow("sealed, declared one more")
            << pw << false << false << header("SSEAL", ZaridoDovo::MaxSealedLength + 1) << RefuseOversized << "Invalid Message Size" << 0;
        QTest::newRow("sealed, shorter than the overhead")
            << pw << false << false << header("SSEAL", 10) + QByteArray(10, '\1') << RefuseUndecipherable << badPassword << 0;
        QTest::newRow("sealed 301 s ago") << pw << false << false << Sealed("pw", "alice", Now() - 301) << RefuseStale
                                          << "Message sent outside the time window refused" << 2;
        QTest::newRow("sealed 290 s ago") << pw << false << false << Sealed("pw", "alice", Now() - 290) << Deliver << "" << 2;
    }
    void judges()
    {
        QFETCH(QByteArray, password);
        QFETCH(bool, secureOnly);
        QFETCH(bool, acceptLegacy);
        QFETCH(QByteArray, wire);
        QFETCH(Verdict, verdict);
        QFETCH(int, reply);
        MessageJudge judge(password.toStdString(), secureOnly, acceptLegacy);
        ReplayGuard guard;
        // The header split across two data events: the first only waits for the rest.
        QCOMPARE(judge.Feed(wire.left(3).toStdString()), Verdict::Wait);
        Verdict got = judge.Feed(wire.mid(3).toStdString());
        if (got == Verdict::NeedKey)
            got = judge.OpenSealed(CheapKey(password.toStdString(), judge.SealedSalt()), guard, Now());
        QCOMPARE(got, verdict);
        QTEST(QString::fromStdString(judge.RefusalReason()), "reason");
        QCOMPARE(judge.ReplyEnciphered(), reply == 1);
        QCOMPARE(judge.ReplySealed(), reply == 2);
        if (verdict == Verdict::Deliver)
            QCOMPARE(judge.Message(), QByteArray("alice"));
        if (reply == 2) // bound to the request
            QCOMPARE(judge.RequestNonce(), std::string(SealedFrame::Inspect(wire.toStdString())->nonce));
        // Once judged, the connection carries nothing more: a late byte neither refuses nor delivers.
        if (verdict != Verdict::Wait)
            QCOMPARE(judge.Feed("x"), Verdict::NoMessage);
    }
};

QTEST_APPLESS_MAIN(tst_Frames)
#include "tst_Frames.moc"
