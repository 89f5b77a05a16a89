#include "SealedFrames.h"
#include "TestFiles.h"
#include "protocol/WireFormat.h"

#include <QRegularExpression>
#include <QTest>

namespace {

const std::string Salt(SealedFrame::SaltSize, '\x11');
const std::string Nonce(SealedFrame::NonceSize, '\x22');
constexpr std::int64_t Time = 1'780'000'000;

} // namespace

class tst_SealedFrame : public QObject
{
    Q_OBJECT

private slots:
    // The empty text and the longest: the size is the overhead's more, the text never shows in
    // the clear, and it opens as sealed (the layout byte for byte: the documented examples).
    void roundTrip()
    {
        const SecretBytes key = CheapKey("pw", Salt);
        for (const std::string &text : {std::string(), std::string(1 << 20, 'x')}) {
            const std::string frame = SealedFrame::Seal(key, Salt, Nonce, Time, text);
            QCOMPARE(frame.size(), SealedFrame::HeaderSize + SealedFrame::Overhead + text.size());
            QVERIFY(text.empty() || frame.find(text.substr(0, 64)) == std::string::npos);
            const auto opened = SealedFrame::Open(key, frame);
            QVERIFY(opened && opened->time == Time && opened->text == text);
        }
    }

    // Every single byte of the frame is covered: header and version as associated data,
    // salt through the key, nonce, ciphertext and tag through the AEAD.
    void anyFlippedByteRefused()
    {
        const SecretBytes key = CheapKey("pw", Salt);
        const std::string frame = SealedFrame::Seal(key, Salt, Nonce, Time, "alice");
        QVERIFY(SealedFrame::Open(key, frame).has_value());
        for (std::size_t flip = 0; flip < frame.size() * 8; ++flip) {
            const std::size_t offset = flip / 8;
            const int bit = int(flip % 8);
            std::string flipped = frame;
            flipped[offset] = char(flipped[offset] ^ (1 << bit));
            // A receiver opens with the key of the salt it reads: derive it again for a flipped salt.
            const auto envelope = SealedFrame::Inspect(flipped);
            const SecretBytes used = envelope && envelope->salt != Salt ? CheapKey("pw", envelope->salt) : CheapKey("pw", Salt);
            QVERIFY2(!SealedFrame::Open(used, flipped).has_value(), qPrintable(QString("byte %1 bit %2").arg(offset).arg(bit)));
        }
    }

    // Opened with the key of `password`, expecting a reply bound to `bound` when one is given.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("bound");
        const QByteArray pw("pw"), n = QByteArray::fromStdString(Nonce), none;
        const auto seal = [](const QByteArray &password, const QByteArray &bound) {
            return QByteArray::fromStdString(SealedFrame::Seal(CheapKey(password.toStdString(), Salt), Salt, Nonce, Time,
                                                               "alice", bound.toStdString()));
        };
        const QByteArray good = seal(pw, none);
        QTest::newRow("one byte short") << good.chopped(1) << pw << none;
        QTest::newRow("one byte more") << good + 'x' << pw << none;
        QTest::newRow("only the 257th byte differs") << seal(QByteArray(256, 'k') + "a", none) << QByteArray(256, 'k') + "b" << none;
        QTest::newRow("reply taken for a message") << seal(pw, n) << pw << none;
        QTest::newRow("message taken for a reply") << good << pw << n;
    }
    void refused()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, bound);
        QVERIFY(!SealedFrame::Open(CheapKey(password.toStdString(), Salt), frame.toStdString(), bound.toStdString()).has_value());
    }

    // Bad sizes make no frame and no key rather than a weak one.
    void badInputsRefused()
    {
        const SecretBytes key = CheapKey("pw", Salt);
        QVERIFY(SealedFrame::Seal(key, Salt.substr(1), Nonce, Time, "x").empty());
        QVERIFY(SealedFrame::Seal(key, Salt, Nonce.substr(12), Time, "x").empty());
        QVERIFY(SealedFrame::Seal(SecretBytes(), Salt, Nonce, Time, "x").empty());
        QVERIFY(CheapKey("pw", "short").Empty());
    }

    // The protocol document's worked examples are what the code produces, byte for byte.
    void documentedExamples_data()
    {
        QTest::addColumn<QString>("block");
        QTest::addColumn<QByteArray>("produced");
        std::string salt, nonce, replyNonce;
        for (int k = 0; k < 16; ++k)
            salt += char(k);
        for (int k = 0; k < 24; ++k) {
            nonce += char(0x20 + k);
            replyNonce += char(0x40 + k);
        }
        // The real cost: the document gives the parameters both ends use.
        const SecretBytes key = PasswordKdf(PasswordKdf::Interactive()).Derive(SecretBytes(std::string_view("pw")), salt);
        const auto bytes = [](const std::string &s) { return QByteArray::fromStdString(s); };
        QTest::newRow("plain message") << "plain-message" << bytes(WriteFrame("abc", "").value());
        QTest::newRow("legacy message") << "legacy-message" << bytes(WriteFrame("abc", "pw").value());
        QTest::newRow("sealed key") << "sealed-key" << bytes(std::string(key.View()));
        QTest::newRow("sealed message") << "sealed-message" << bytes(SealedFrame::Seal(key, salt, nonce, 1780000000, "abc"));
        QTest::newRow("sealed reply")
            << "sealed-reply" << bytes(SealedFrame::Seal(key, salt, replyNonce, 1780000001, "OK", nonce));
    }
    void documentedExamples()
    {
        QFETCH(QString, block);
        QFETCH(QByteArray, produced);
        const QString text = QString::fromUtf8(TestFiles::Read(QStringLiteral(TEXTDROP_SOURCE_DIR "/docs/PROTOCOL.md")));
        const auto match = QRegularExpression("```hex " + block + "\\n([0-9A-F \\n]*)```").match(text);
        QVERIFY2(match.hasMatch(), qPrintable(block));
        QCOMPARE(QByteArray::fromHex(match.captured(1).toLatin1()).toHex(' ').toUpper(), produced.toHex(' ').toUpper());
    }

    void freshSaltsAndNonces()
    {
        QVERIFY(PasswordKdf::NewSalt() != PasswordKdf::NewSalt());
        QVERIFY(SealedFrame::NewNonce() != SealedFrame::NewNonce());
        QCOMPARE(SealedFrame::NewNonce().size(), SealedFrame::NonceSize);
    }
};

QTEST_GUILESS_MAIN(tst_SealedFrame)
#include "tst_SealedFrame.moc"
