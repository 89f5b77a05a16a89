#include "support/MessageArchive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

const QDateTime When(QDate(2002, 11, 5), QTime(14, 32, 7));

} // namespace

class tst_MessageArchive : public QObject
{
    Q_OBJECT

private slots:
    void savesExactBytesUnderTheCountedName();
    void neverOverwritesAnExistingFile();
    void joinsAFolderWithoutItsSeparator();
    void failedSaveStillUsesUpItsNumber();
};

void tst_MessageArchive::savesExactBytesUnderTheCountedName()
{
    QTemporaryDir dir;
    int count = 2;
    const QByteArray message("caf\xc3\xa9\0\xff", 7);
    const auto result = MessageArchive(dir.path() + "/").Save(message, count, When);
    QVERIFY2(result.Ok(), qPrintable(result.error));
    QCOMPARE(count, 3);
    QCOMPARE(result.path, QDir::toNativeSeparators(dir.path() + "/20021105-143207-3.txt"));
    QCOMPARE(ReadAll(result.path), message + "\r\n");
}

void tst_MessageArchive::neverOverwritesAnExistingFile()
{
    QTemporaryDir dir;
    QFile taken(dir.filePath("20021105-143207-1.txt"));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.write("an earlier run's message");
    taken.close();

    int count = 0;
    const auto result = MessageArchive(dir.path()).Save("new", count, When);
    QVERIFY(result.Ok());
    QCOMPARE(count, 2);
    QVERIFY(result.path.endsWith("20021105-143207-2.txt"));
    QCOMPARE(ReadAll(dir.filePath("20021105-143207-1.txt")), QByteArray("an earlier run's message"));
    QCOMPARE(ReadAll(result.path), QByteArray("new\r\n"));
}

void tst_MessageArchive::joinsAFolderWithoutItsSeparator()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("saved"));
    int count = 0;
    const auto result = MessageArchive(dir.filePath("saved")).Save("x", count, When);
    QVERIFY(result.Ok());
    QCOMPARE(result.path, QDir::toNativeSeparators(dir.filePath("saved/20021105-143207-1.txt")));
    QVERIFY(!QFile::exists(dir.filePath("saved20021105-143207-1.txt")));
}

void tst_MessageArchive::failedSaveStillUsesUpItsNumber()
{
    QTemporaryDir dir;
    int count = 4;
    const auto result = MessageArchive(dir.filePath("gone")).Save("lost?", count, When);
    QVERIFY(!result.Ok());
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(count, 5);
    QVERIFY(result.path.endsWith("20021105-143207-5.txt"));
}

QTEST_APPLESS_MAIN(tst_MessageArchive)
#include "tst_MessageArchive.moc"
