#include "app/StatusText.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QTest>

class tst_StatusText : public QObject
{
    Q_OBJECT

private slots:
    void fitText_data();
    void fitText();
};

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

QTEST_MAIN(tst_StatusText)
#include "tst_StatusText.moc"
