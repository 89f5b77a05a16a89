#include "MemoryLogView.h"
#include "core/CLog.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

static QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class tst_CLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void timeStampFormat_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("stamp");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QDateTime afternoon(QDate(2002, 11, 5), QTime(16, 51, 42));
        QTest::newRow("afternoon") << afternoon << CLog::DefaultDateFormat << us << "11/05/2002 04:51:42 PM";
        QTest::newRow("just after midnight") << QDateTime(QDate(2026, 1, 2), QTime(0, 5, 9)) << CLog::DefaultDateFormat
                                             << us << "01/02/2026 12:05:09 AM";
        QTest::newRow("noon") << QDateTime(QDate(2026, 12, 31), QTime(12, 0)) << CLog::DefaultDateFormat << us
                              << "12/31/2026 12:00:00 PM";
        QTest::newRow("mm after an hour is minutes") << afternoon << "HH:MM" << us << "16:51";
        QTest::newRow("German separators") << afternoon << "dd/mm/yyyy" << QLocale(QLocale::German) << "05.11.2002";
    }
    void timeStampFormat()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, pattern);
        QFETCH(QLocale, locale);
        QFETCH(QString, stamp);
        QCOMPARE(CLog::FormatTimeStamp(when, pattern, locale), stamp);
    }

    void lineFormat()
    {
        MemoryLogView view;
        CLog bare;
        bare.Start(std::nullopt, &view); // never given a date format: no time stamp
        bare.Log("no stamp");
        QCOMPARE(view.text, QString("no stamp\r\n"));

        CLog stamped;
        stamped.Start(QString(), &view);
        view.text.clear();
        stamped.Log("Server started on 127.0.0.1:30666");
        static const QRegularExpression line(
            R"(^\d\d/\d\d/\d{4} (0\d|1[0-2]):\d\d:\d\d (AM|PM): Server started on 127\.0\.0\.1:30666\r\n$)");
        QVERIFY2(line.match(view.text).hasMatch(), qPrintable(view.text));
        // The local time, in a zone half an hour off any whole-hour offset from UTC.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Asia/Kolkata");
        CLog local;
        local.Start(QString(), &view);
        view.text.clear();
        const QString before = CLog::FormatTimeStamp(QDateTime::currentDateTime(), CLog::DefaultDateFormat);
        local.Log("now");
        const QString after = CLog::FormatTimeStamp(QDateTime::currentDateTime(), CLog::DefaultDateFormat);
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
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
        QCOMPARE(ReadAll(path), QByteArray("first\r\nsecond\r\n"));

        QVERIFY(log.Clear());
        QVERIFY(view.text.isEmpty() && QFile::exists(path));
        QVERIFY(log.Clear(true));
        QVERIFY(!QFile::exists(path));

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
