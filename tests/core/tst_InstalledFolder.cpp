#include "core/InstalledFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class tst_InstalledFolder : public QObject
{
    Q_OBJECT

private slots:
    void recognisesProgramFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("installed");
        QTest::newRow("/usr/bin") << QString("/usr/bin") << true;
        QTest::newRow("/usr/bin/, trailing slash") << QString("/usr/bin/") << true;
        QTest::newRow("/usr/lib/../bin") << QString("/usr/lib/../bin") << true;
        QTest::newRow("/bin") << QString("/bin") << true;
        QTest::newRow("/usr/local/bin") << QString("/usr/local/bin") << true;
        QTest::newRow("this build's install folder") << QString(TEXTDROP_INSTALL_BINDIR) << true;
        QTest::newRow("/usr") << QString("/usr") << false;
        QTest::newRow("/usr/bin/missing") << QString("/usr/bin/missing") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("relative") << QString("bin") << false;
    }

    void recognisesProgramFolders()
    {
        QFETCH(QString, folder);
        QFETCH(bool, installed);
        if (!QDir(folder).exists() && installed)
            QSKIP("not on this machine");
        QCOMPARE(IsInstalledFolder(folder), installed);
    }

    void aBuildFolderIsNoInstalledFolder()
    {
        QTemporaryDir dir;
        QVERIFY(!IsInstalledFolder(dir.path()));
        QVERIFY(!IsInstalledFolder(QCoreApplication::applicationDirPath()));
    }

    void aCustomInstallFolderCounts()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin"));
        const QString bin = prefix.filePath("bin");
        QVERIFY(IsInstalledFolder(bin, bin));
        QVERIFY(IsInstalledFolder(bin + "/", prefix.path() + "/./bin"));
        QVERIFY(!IsInstalledFolder(prefix.path(), bin));
    }
};

QTEST_GUILESS_MAIN(tst_InstalledFolder)
#include "tst_InstalledFolder.moc"
