#include "core/CLog.h"
#include "core/LogView.h"
#include "windows/frmLog.h"

#include <QPlainTextEdit>
#include <QTest>

class tst_frmLog : public QObject
{
    Q_OBJECT

private slots:
    // The box shows one paragraph per line and counts its length as the log wrote it, CR LF
    // included, so the purge comes where the log's own count puts it (the log's test has the limit).
    void boxPurgesPastTheLimit()
    {
        frmLog window(nullptr);
        CLog log;
        log.Start(std::nullopt, window.TextBoxView());
        const QString line(96, u'x');
        for (int k = 0; k < 103; ++k) // 10094 characters
            log.Log(line);
        QCOMPARE(window.TextBoxView()->Length(), 103 * 98);
        auto *box = window.findChild<QPlainTextEdit *>(QStringLiteral("txtLog"));
        QCOMPARE(box->toPlainText(), QStringList(103, line).join(u'\n'));
        log.Log("last");
        QCOMPARE(box->toPlainText(), QStringLiteral("Log Purged\nlast"));
        QCOMPARE(box->textCursor().position(), box->toPlainText().size()); // the caret follows the newest line
        window.show();
        QTest::keyClicks(box, QStringLiteral("typed")); // the log is read, not written
        QCOMPARE(box->toPlainText(), QStringLiteral("Log Purged\nlast"));
    }
};

QTEST_MAIN(tst_frmLog)
#include "tst_frmLog.moc"
