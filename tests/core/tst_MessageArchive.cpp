#include "TestFiles.h"
#include "core/MessageArchive.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static const QDateTime When(QDate(2002, 11, 5), QTime(14, 32, 7));

class tst_MessageArchive : public QObject
{
    Q_OBJECT

private slots:
    // Taken names, a dangling link among them, are skipped and never written through; many
    // saves in one second all keep their own file; a saved file is as readable as any other.
    void savesExactBytesAndNeverOverwrites()
    {
        QTemporaryDir dir;
        const QString taken = dir.filePath("20021105-143207-3.txt");
        QVERIFY(TestFiles::Write(taken, "an earlier run's message"));
        QVERIFY(QFile::link(dir.filePath("elsewhere"), dir.filePath("20021105-143207-4.txt")));
        int count = 2;
        const QByteArray message("caf\xc3\xa9\0\xff", 7);
        for (int k = 5; k < 15; ++k) {
            // No final separator on the folder: it is joined with one.
            MessageArchive archive(dir.path());
            QVERIFY2(archive.Save(message + char('0' + k), count, When), qPrintable(archive.errorString()));
            QCOMPARE(count, k);
            QCOMPARE(archive.SavedPath(), QDir::toNativeSeparators(dir.filePath(QStringLiteral("20021105-143207-%1.txt").arg(k))));
            QCOMPARE(TestFiles::Read(archive.SavedPath()), message + char('0' + k) + "\r\n");
        }
        QVERIFY(!QFile::exists(dir.filePath("elsewhere")));
        QCOMPARE(TestFiles::Read(taken), QByteArray("an earlier run's message"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 12); // no parts left
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat info{};
        QCOMPARE(::stat(QFile::encodeName(dir.filePath("20021105-143207-5.txt")).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0666 & ~mask);
    }

    void failedSaveLeavesNoFileAndUsesUpItsNumber_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason"); // the system's
        QTest::newRow("folder removed") << "removed" << "No such file or directory";
        QTest::newRow("folder not writable") << "read-only" << "Permission denied";
        QTest::newRow("file size limit below the message") << "limit" << "File too large";
    }
    void failedSaveLeavesNoFileAndUsesUpItsNumber()
    {
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        if (failure == "read-only" && ::geteuid() == 0)
            QSKIP("permissions do not bind root");
        QTemporaryDir dir;
        const QString folder = dir.filePath("saved");
        if (failure != "removed")
            QVERIFY(QDir().mkdir(folder));
        if (failure == "read-only")
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        int count = 4;
        MessageArchive archive(folder);
        const bool saved = [&] {
            TestFiles::FileSizeLimit limit(failure == "limit" ? 4096 : RLIM_INFINITY);
            return archive.Save(QByteArray(10000, 'x'), count, When);
        }();
        QVERIFY2(!saved && archive.errorString().contains(reason), qPrintable(archive.errorString()));
        QCOMPARE(count, 5);
        QVERIFY(archive.LogLine().startsWith("Error saving " + archive.SavedPath() + ": "));
        QVERIFY(archive.SavedPath().endsWith("20021105-143207-5.txt"));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' '))); // not even a part
    }

    void writerKilledMidwayLeavesNoFinalName()
    {
        QTemporaryDir dir;
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Past the limit the system kills the writer, as it would a listener that does not
            // ignore the signal: the file is cut wherever the writing stopped.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit small{4096, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &small);
            int count = 0;
            MessageArchive(dir.path()).Save(QByteArray(100000, 'x'), count, When);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        QCOMPARE(QDir(dir.path()).entryList({"2002*"}, QDir::Files), QStringList());
    }
};

QTEST_APPLESS_MAIN(tst_MessageArchive)
#include "tst_MessageArchive.moc"
