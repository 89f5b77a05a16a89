#include "core/EscapeControls.h"

#include <QTest>

class tst_EscapeControls : public QObject
{
    Q_OBJECT

private slots:
    void escapes_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("plain text, newline and tab kept") << QByteArray("a\tb\nc") << QByteArray("a\tb\nc");
        QTest::newRow("carriage return, backspace, NUL")
            << QByteArray("a\rb\bc\0d", 7) << QByteArray("a\\x0db\\x08c\\x00d");
        QTest::newRow("DEL") << QByteArray("\x7f") << QByteArray("\\x7f");
        QTest::newRow("UTF-8 text kept") << QByteArray("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80")
                                         << QByteArray("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
        QTest::newRow("C1 CSI as UTF-8") << QByteArray("\xc2\x9b" "2J") << QByteArray("\\xc2\\x9b2J");
        QTest::newRow("no-break space, just above C1, kept") << QByteArray("\xc2\xa0") << QByteArray("\xc2\xa0");
        QTest::newRow("lone 8-bit CSI") << QByteArray("\x9b" "2J") << QByteArray("\\x9b2J");
        QTest::newRow("cut sequence at the end") << QByteArray("x\xe2\x82") << QByteArray("x\\xe2\\x82");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QByteArray("\\xc0\\xaf");
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QByteArray("\\xed\\xa0\\x80");
    }
    void escapes()
    {
        QFETCH(QByteArray, in);
        QTEST(EscapeControls(in), "shown");
    }
};

QTEST_APPLESS_MAIN(tst_EscapeControls)
#include "tst_EscapeControls.moc"
