#include "MemoryLogView.h"
#include "support/CLog.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class tst_CLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void timeStampFormat_data();
    void timeStampFormat();
    void linesCarryTheDefaultTimeStamp();
    void purgeBoundary_data();
    void purgeBoundary();
    void fileGetsOneLinePerCall();
    void clearEmptiesViewAndOptionallyTheFile();
};

void tst_CLog::timeStampFormat_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("stamp");
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QDateTime afternoon(QDate(2002, 11, 5), QTime(16, 51, 42));
    QTest::newRow("afternoon, US") << afternoon << CLog::DefaultDateFormat << us << "11/05/2002 04:51:42 PM";
    QTest::newRow("just after midnight") << QDateTime(QDate(2026, 1, 2), QTime(0, 5, 9)) << CLog::DefaultDateFormat << us
                                         << "01/02/2026 12:05:09 AM";
    QTest::newRow("noon") << QDateTime(QDate(2026, 12, 31), QTime(12, 0, 0)) << CLog::DefaultDateFormat << us
                          << "12/31/2026 12:00:00 PM";
    QTest::newRow("mm after an hour is minutes") << afternoon << "HH:MM" << us << "16:51";
    QTest::newRow("German separators") << afternoon << "dd/mm/yyyy" << QLocale(QLocale::German, QLocale::Germany)
                                       << "05.11.2002";
}

void tst_CLog::timeStampFormat()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, pattern);
    QFETCH(QLocale, locale);
    QFETCH(QString, stamp);
    QCOMPARE(CLog::FormatTimeStamp(when, pattern, locale), stamp);
}

void tst_CLog::linesCarryTheDefaultTimeStamp()
{
    MemoryLogView view;
    CLog bare;
    bare.Start(std::nullopt, &view);
    bare.Log("no stamp");
    QCOMPARE(view.text, QString("no stamp\r\n"));
    QVERIFY(view.caretAtEnd);

    CLog stamped;
    stamped.Start(QString(), &view);
    view.text.clear();
    stamped.Log("Server started on 127.0.0.1:30666");
    static const QRegularExpression line(
        R"(^\d\d/\d\d/\d{4} (0\d|1[0-2]):\d\d:\d\d (AM|PM): Server started on 127\.0\.0\.1:30666\r\n$)");
    QVERIFY2(line.match(view.text).hasMatch(), qPrintable(view.text));
}

void tst_CLog::purgeBoundary_data()
{
    QTest::addColumn<int>("existing");
    QTest::addColumn<bool>("purged");
    QTest::newRow("exactly 10000 characters") << 10000 << false;
    QTest::newRow("10001 characters") << 10001 << true;
}

void tst_CLog::purgeBoundary()
{
    QFETCH(int, existing);
    QFETCH(bool, purged);
    MemoryLogView view;
    view.text = QString(existing, u'x');
    CLog log;
    log.Start(QString(), &view);
    log.Log("next");

    if (!purged) {
        QVERIFY(view.text.startsWith(QString(existing, u'x')));
        QCOMPARE(view.text.count("\r\n"), 1);
        QVERIFY(view.text.endsWith(": next\r\n"));
        return;
    }
    const QStringList lines = view.text.split("\r\n");
    QCOMPARE(lines.size(), 3); // two lines and what follows the last CR LF
    QVERIFY(lines[0].endsWith(": Log Purged"));
    QVERIFY(lines[1].endsWith(": next"));
    QCOMPARE(lines[0].chopped(QString("Log Purged").size()), lines[1].chopped(QString("next").size()));
    QVERIFY(lines[2].isEmpty());
}

void tst_CLog::fileGetsOneLinePerCall()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("textdrop.log");
    CLog log;
    log.AttachFile(path);
    QVERIFY(log.Log("first"));
    QVERIFY(log.Log("second"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("first\r\nsecond\r\n"));

    // Start without a file turns file output off.
    log.Start();
    log.Log("not in the file");
    QCOMPARE(file.size(), qint64(15));

    CLog unwritable;
    unwritable.AttachFile(dir.filePath("missing-folder/x.log"));
    QVERIFY(!unwritable.Log("lost"));
}

void tst_CLog::clearEmptiesViewAndOptionallyTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("textdrop.log");
    MemoryLogView view;
    CLog log;
    log.Start(std::nullopt, &view, path);
    log.Log("line");

    QVERIFY(log.Clear());
    QCOMPARE(view.text, QString());
    QVERIFY(QFile::exists(path));

    QVERIFY(log.Clear(true));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!log.Clear(true)); // nothing left to delete
}

QTEST_GUILESS_MAIN(tst_CLog)
#include "tst_CLog.moc"
