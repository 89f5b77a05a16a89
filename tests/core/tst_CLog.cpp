#include "MemoryLogView.h"
#include "TestFiles.h"
#include "core/CLog.h"

#include <QTemporaryDir>
#include <QTest>

class tst_CLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // The local time, in a zone half an hour off any whole-hour offset from UTC; no stamp when
    // never given a date format.
    void lineFormat()
    {
        QCOMPARE(CLog::FormatTimeStamp(QDateTime(QDate(2026, 1, 2), QTime(0, 5, 9)), CLog::DefaultDateFormat),
                 QStringLiteral("01/02/2026 12:05:09 AM"));
        MemoryLogView view;
        CLog bare;
        bare.Start(std::nullopt, &view);
        bare.Log("no stamp");
        QCOMPARE(view.text, QString("no stamp\r\n"));

        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Asia/Kolkata");
        CLog local;
        local.Start(QString(), &view);
        view.text.clear();
        const QString before = CLog::FormatTimeStamp(QDateTime::currentDateTime(), CLog::DefaultDateFormat);
        local.Log("now");
        const QString after = CLog::FormatTimeStamp(QDateTime::currentDateTime(), CLog::DefaultDateFormat);
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        QVERIFY2(view.text == before + ": now\r\n" || view.text == after + ": now\r\n", qPrintable(view.text + before));
    }

    void purgesOnlyPastTheLimit()
    {
        MemoryLogView view;
        CLog log;
        log.Start(QString(), &view);
        view.text = QString(10000, u'x');
        log.Log("kept");
        QVERIFY(view.text.startsWith(QString(10000, u'x')) && view.text.endsWith(": kept\r\n"));
        view.text = QString(10001, u'x');
        log.Log("next");
        const QStringList lines = view.text.split("\r\n");
        QCOMPARE(lines.size(), 3); // two lines, then nothing after the last CR LF
        QVERIFY(lines[0].endsWith(": Log Purged") && lines[1].endsWith(": next"));
        QCOMPARE(lines[0].chopped(10), lines[1].chopped(4)); // one time stamp for both
    }

    void fileGetsOneLinePerCall()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("textdrop.log");
        MemoryLogView view;
        CLog log;
        log.Start(std::nullopt, &view, path);
        QVERIFY(log.Log("first") && log.Log("second"));
        QCOMPARE(TestFiles::Read(path), QByteArray("first\r\nsecond\r\n"));
        QVERIFY(log.Clear() && view.text.isEmpty() && QFile::exists(path));
        QVERIFY(log.Clear(true) && !QFile::exists(path));
        log.Start(); // without a file: file output off
        log.Log("not in the file");
        QVERIFY(!QFile::exists(path));
        CLog unwritable;
        unwritable.AttachFile(dir.filePath("missing-folder/x.log"));
        QVERIFY(!unwritable.Log("lost"));
    }
};

QTEST_GUILESS_MAIN(tst_CLog)
#include "tst_CLog.moc"
