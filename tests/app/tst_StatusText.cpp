#include "app/StatusText.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QTest>

class tst_StatusText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusTextStamp_data();
    void statusTextStamp();
    void fitText_data();
    void fitText();
    void numberOrDate_data();
    void numberOrDate();
};

void tst_StatusText::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_StatusText::statusTextStamp_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("afternoon") << QTime(14, 32, 7) << QStringLiteral(" 02:32:07 PM: Connection from 192.168.0.9");
    QTest::newRow("just after midnight") << QTime(0, 5, 9) << QStringLiteral(" 12:05:09 AM: Connection from 192.168.0.9");
    QTest::newRow("noon") << QTime(12, 0, 0) << QStringLiteral(" 12:00:00 PM: Connection from 192.168.0.9");
}

void tst_StatusText::statusTextStamp()
{
    QFETCH(QTime, time);
    QFETCH(QString, expected);
    QCOMPARE(StatusText(QDateTime(QDate(2002, 11, 5), time), QStringLiteral("Connection from 192.168.0.9")), expected);
}

void tst_StatusText::fitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("widthInChars"); // in widths of "x", so rows hold in any font

    const QString sentence = QStringLiteral(" 02:32:07 PM: 1,204 bytes from (192.168.0.9) \u2014 not saved: No space left on device");
    QTest::newRow("fits whole") << sentence << 200;
    QTest::newRow("cut to a prefix") << sentence << 30;
    QTest::newRow("narrower than one character") << sentence << 0;
    QTest::newRow("two characters, too narrow") << QStringLiteral("ab") << 0;
    QTest::newRow("surrogate pair never split") << QStringLiteral("a\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600") << 4;
}

void tst_StatusText::fitText()
{
    QFETCH(QString, text);
    QFETCH(int, widthInChars);
    const QFontMetrics metrics(QFont(QStringLiteral("Sans"), 10));
    const int width = widthInChars * metrics.horizontalAdvance(u'x');

    const QString shown = FitText(text, metrics, width);
    if (metrics.horizontalAdvance(text) <= width) {
        QCOMPARE(shown, text);
        return;
    }
    QVERIFY(shown.endsWith(QLatin1String("...")));
    const QString prefix = shown.chopped(3);
    QVERIFY(text.startsWith(prefix));
    QVERIFY(!prefix.isEmpty());
    QVERIFY(!prefix.back().isHighSurrogate());
    if (prefix.size() > 1) {
        QVERIFY(metrics.horizontalAdvance(shown) <= width);
    }
    // The longest prefix: one more character would not fit (or is the whole text).
    qsizetype next = prefix.size() + 1;
    if (next < text.size() && text.at(next - 1).isHighSurrogate())
        ++next;
    if (next < text.size())
        QVERIFY(metrics.horizontalAdvance(text.left(next) + QStringLiteral("...")) > width);
}

void tst_StatusText::numberOrDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("reads");

    QTest::newRow("whole number") << QStringLiteral("1234") << true;
    QTest::newRow("grouped number with spaces") << QStringLiteral(" 1,234.5 ") << true;
    QTest::newRow("iso date") << QStringLiteral("2002-11-05") << true;
    QTest::newRow("time alone") << QStringLiteral("14:32:07") << true;
    QTest::newRow("a status line") << QStringLiteral(" 02:32:07 PM: Connection from 192.168.0.9") << false;
    QTest::newRow("an address") << QStringLiteral("192.168.0.9") << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_StatusText::numberOrDate()
{
    QFETCH(QString, text);
    QFETCH(bool, reads);
    QCOMPARE(ReadsAsNumberOrDate(text), reads);
}

QTEST_MAIN(tst_StatusText)
#include "tst_StatusText.moc"
