#include "support/MessageArchive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

static QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

static const QDateTime When(QDate(2002, 11, 5), QTime(14, 32, 7));

class tst_MessageArchive : public QObject
{
    Q_OBJECT

private slots:
    void savesExactBytesAndNeverOverwrites()
    {
        QTemporaryDir dir;
        QFile taken(dir.filePath("20021105-143207-3.txt"));
        QVERIFY(taken.open(QIODevice::WriteOnly) && taken.write("an earlier run's message") > 0);
        taken.close();

        int count = 2;
        const QByteArray message("caf\xc3\xa9\0\xff", 7);
        // No final separator on the folder: it is joined with one.
        const auto result = MessageArchive(dir.path()).Save(message, count, When);
        QVERIFY2(result.Ok(), qPrintable(result.error));
        QCOMPARE(count, 4); // the taken name moved the count on
        QCOMPARE(result.path, QDir::toNativeSeparators(dir.filePath("20021105-143207-4.txt")));
        QCOMPARE(ReadAll(result.path), message + "\r\n");
        QCOMPARE(ReadAll(taken.fileName()), QByteArray("an earlier run's message"));
    }

    void failedSaveStillUsesUpItsNumber()
    {
        QTemporaryDir dir;
        int count = 4;
        const auto result = MessageArchive(dir.filePath("gone")).Save("lost?", count, When);
        QVERIFY(!result.Ok() && !result.error.isEmpty());
        QCOMPARE(count, 5);
        QVERIFY(result.path.endsWith("20021105-143207-5.txt"));
    }
};

QTEST_APPLESS_MAIN(tst_MessageArchive)
#include "tst_MessageArchive.moc"
