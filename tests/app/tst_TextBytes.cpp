#include "app/TextBytes.h"

#include <QLocale>
#include <QTest>

class tst_TextBytes : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void encodeBoard_data();
    void encodeBoard();
    void countAndFormat_data();
    void countAndFormat();
};

void tst_TextBytes::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArray("hello") << QStringLiteral("hello");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("utf-8 accents") << QByteArray("caf\xc3\xa9 \xe2\x82\xac") << QStringLiteral("caf\u00e9 \u20ac");
    QTest::newRow("cp1252 accents and euro") << QByteArray("caf\xe9 \x80") << QStringLiteral("caf\u00e9 \u20ac");
    QTest::newRow("cp1252 curly quotes") << QByteArray("\x93quoted\x94") << QStringLiteral("\u201cquoted\u201d");
    QTest::newRow("utf-8 cut in the middle of a character")
        << QByteArray("ab\xc3") << QStringLiteral("ab\u00c3");
    QTest::newRow("utf-8 byte order mark dropped") << QByteArray("\xef\xbb\xbfhi") << QStringLiteral("hi");
    QTest::newRow("nul byte kept") << QByteArray("a\0b", 3) << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
}

void tst_TextBytes::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DecodeText(bytes), text);
}

void tst_TextBytes::encodeBoard_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("one line") << QStringLiteral("abc") << QByteArray("abc");
    QTest::newRow("lf becomes cr lf") << QStringLiteral("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("cr lf not doubled") << QStringLiteral("a\r\nb") << QByteArray("a\r\nb");
    QTest::newRow("non-ascii as utf-8") << QStringLiteral("\u00e9\u20ac") << QByteArray("\xc3\xa9\xe2\x82\xac");
    QTest::newRow("empty board") << QString() << QByteArray();
}

void tst_TextBytes::encodeBoard()
{
    QFETCH(QString, board);
    QFETCH(QByteArray, wire);
    QCOMPARE(EncodeBoardText(board), wire);
    // What goes out comes back as the same text, line ends aside.
    QCOMPARE(DecodeText(wire).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
             QString(board).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void tst_TextBytes::countAndFormat_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("nothing") << QString() << QStringLiteral("0");
    QTest::newRow("1234 characters grouped") << QString(1234, u'x') << QStringLiteral("1,234");
    QTest::newRow("character outside the basic plane counts once")
        << QStringLiteral("a\U0001F600b") << QStringLiteral("3");
    QTest::newRow("lone surrogate counts once") << QString(QChar(0xD800)) << QStringLiteral("1");
}

void tst_TextBytes::countAndFormat()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(FormatCount(CharacterCount(text)), shown);
}

QTEST_GUILESS_MAIN(tst_TextBytes)
#include "tst_TextBytes.moc"
