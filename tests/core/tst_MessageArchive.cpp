#include "core/MessageArchive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QSet>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
        // A dangling link at the next name is taken too, and never followed.
        const QString target = dir.filePath("elsewhere");
        QVERIFY(QFile::link(target, dir.filePath("20021105-143207-4.txt")));

        int count = 2;
        const QByteArray message("caf\xc3\xa9\0\xff", 7);
        // No final separator on the folder: it is joined with one.
        const auto result = MessageArchive(dir.path()).Save(message, count, When);
        QVERIFY2(result.Ok(), qPrintable(result.error));
        QCOMPARE(count, 5); // the taken names moved the count on
        QCOMPARE(result.path, QDir::toNativeSeparators(dir.filePath("20021105-143207-5.txt")));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(ReadAll(result.path), message + "\r\n");
        QCOMPARE(ReadAll(taken.fileName()), QByteArray("an earlier run's message"));
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat info{};
        QCOMPARE(::stat(QFile::encodeName(result.path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0666 & ~mask); // as any file the user makes, not private
    }

    void failedSaveLeavesNoFileAndUsesUpItsNumber_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason"); // the system's
        QTest::newRow("folder removed") << QStringLiteral("removed") << QStringLiteral("No such file or directory");
        QTest::newRow("folder is a file") << QStringLiteral("file") << QStringLiteral("Not a directory");
        QTest::newRow("folder not writable") << QStringLiteral("read-only") << QStringLiteral("Permission denied");
        QTest::newRow("folder on a file system nobody writes") << QStringLiteral("proc") << QString();
        QTest::newRow("file size limit below the message") << QStringLiteral("limit") << QStringLiteral("File too large");
    }

    void failedSaveLeavesNoFileAndUsesUpItsNumber()
    {
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString folder = failure == "proc" ? QStringLiteral("/proc/self") : dir.filePath("saved");
        if (failure != "proc")
            QVERIFY(QDir().mkdir(folder));
        if (failure == "removed") {
            QVERIFY(QDir(folder).removeRecursively());
        } else if (failure == "file") {
            QVERIFY(QDir(folder).removeRecursively());
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else if (failure == "read-only") {
            if (::geteuid() == 0)
                QSKIP("permissions do not bind root");
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a write error instead of death
        if (failure == "limit") {
            const rlimit small{4096, saved.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        int count = 4;
        const auto result = MessageArchive(folder).Save(QByteArray(10000, 'x'), count, When);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!result.Ok());
        QVERIFY2(!result.error.isEmpty() && result.error.contains(reason), qPrintable(result.error));
        QCOMPARE(count, 5);
        QVERIFY(result.path.endsWith("20021105-143207-5.txt"));
        QVERIFY(result.LogLine().startsWith("Error saving " + result.path + ": "));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList left = QDir(folder).entryList({"*.part", "2002*"}, QDir::Files | QDir::Hidden);
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

    void manySavesInOneSecondAllKept()
    {
        QTemporaryDir dir;
        int count = 0;
        QSet<QString> paths;
        for (int k = 0; k < 50; ++k) {
            const auto result = MessageArchive(dir.path()).Save(QByteArray::number(k), count, When);
            QVERIFY2(result.Ok(), qPrintable(result.error));
            QCOMPARE(ReadAll(result.path), QByteArray::number(k) + "\r\n");
            paths << result.path;
        }
        QCOMPARE(paths.size(), 50);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 50); // no parts left over
    }
};

QTEST_APPLESS_MAIN(tst_MessageArchive)
#include "tst_MessageArchive.moc"
