#include "core/CLog.h"
#include "core/LogView.h"
#include "windows/frmLog.h"

#include <QPlainTextEdit>
#include <QTest>

class tst_frmLog : public QObject
{
    Q_OBJECT

private slots:
    void closeHidesUnlessTaggedEnd()
    {
        frmLog window(nullptr);
        window.show();
        auto *box = window.findChild<QPlainTextEdit *>(QStringLiteral("txtLog"));
        QTest::keyClicks(box, QStringLiteral("typed")); // the log is read, not written
        QCOMPARE(box->toPlainText(), QString());
        QVERIFY(!window.close());
        QVERIFY(!window.isVisible());
        window.AllowClose();
        QVERIFY(window.close());
    }

    // The box shows one paragraph per line and counts its length as the log wrote it, CR LF
    // included, so the purge comes exactly past the limit.
    void boxPurgesPastTheLimit_data()
    {
        QTest::addColumn<int>("lines"); // of 98 characters, CR LF included, before the last one
        QTest::addColumn<bool>("purged");
        QTest::newRow("10094 characters held") << 103 << true;
        QTest::newRow("9996 characters held") << 102 << false;
    }
    void boxPurgesPastTheLimit()
    {
        QFETCH(int, lines);
        QFETCH(bool, purged);
        frmLog window(nullptr);
        CLog log;
        log.Start(std::nullopt, window.TextBoxView());
        const QString line(96, u'x');
        for (int k = 0; k < lines; ++k)
            log.Log(line);
        QCOMPARE(window.TextBoxView()->Length(), lines * 98);
        const QPlainTextEdit *box = window.findChild<QPlainTextEdit *>(QStringLiteral("txtLog"));
        QCOMPARE(box->toPlainText(), QStringList(lines, line).join(u'\n'));
        log.Log("last");
        const QString expected = purged ? QStringLiteral("Log Purged\nlast") : QStringList(lines, line).join(u'\n') + "\nlast";
        QCOMPARE(box->toPlainText(), expected);
        QCOMPARE(box->textCursor().position(), expected.size()); // the caret follows the newest line
    }
};

QTEST_MAIN(tst_frmLog)
#include "tst_frmLog.moc"
