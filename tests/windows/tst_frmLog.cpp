#include "support/CLog.h"
#include "../support/MemoryLogView.h"
#include "windows/frmLog.h"

#include <QPlainTextEdit>
#include <QTest>

class tst_frmLog : public QObject
{
    Q_OBJECT

private slots:
    void closeHidesAndKeepsText();
    void typedTextStays();
    void purgesLikeTheLogCounts();
};

void tst_frmLog::closeHidesAndKeepsText()
{
    QWidget owner;
    frmLog window(&owner);
    CLog log;
    log.Start(std::nullopt, window.TextBoxView());
    log.Log(QStringLiteral("first"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(!window.close());
    QVERIFY(!window.isVisible());
    log.Log(QStringLiteral("while hidden"));

    window.show();
    QCOMPARE(window.txtLog()->toPlainText(), QStringLiteral("first\nwhile hidden\n"));

    // Marked for the program's end, it really closes.
    window.SetTag(QStringLiteral("END"));
    QVERIFY(window.close());
}

void tst_frmLog::typedTextStays()
{
    QWidget owner;
    frmLog window(&owner);
    CLog log;
    log.Start(std::nullopt, window.TextBoxView());
    log.Log(QStringLiteral("one"));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.txtLog()->moveCursor(QTextCursor::End);
    QTest::keyClicks(window.txtLog(), QStringLiteral("typed"));
    log.Log(QStringLiteral("two"));
    QCOMPARE(window.txtLog()->toPlainText(), QStringLiteral("one\ntypedtwo\n"));
    QCOMPARE(window.txtLog()->textCursor().position(), window.txtLog()->toPlainText().size());
}

void tst_frmLog::purgesLikeTheLogCounts()
{
    // The box keeps bare LF line ends; the log's 10000-character limit must still count the
    // CR LF it wrote, so the box purges exactly when a plain text view would.
    QWidget owner;
    frmLog window(&owner);
    CLog boxLog;
    boxLog.Start(std::nullopt, window.TextBoxView());
    MemoryLogView memory;
    CLog memoryLog;
    memoryLog.Start(std::nullopt, &memory);

    const QString line(98, u'x'); // 100 characters a line with CR LF
    for (int i = 0; i < 102; ++i) {
        boxLog.Log(line);
        memoryLog.Log(line);
        QCOMPARE(window.txtLog()->toPlainText(), QString(memory.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
    QVERIFY(memory.text.startsWith(QStringLiteral("Log Purged\r\n")));
}

QTEST_MAIN(tst_frmLog)
#include "tst_frmLog.moc"
