#include "core/InstalledFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class tst_InstalledFolder : public QObject
{
    Q_OBJECT

private slots:
    // A system folder however written, a custom prefix's bin; never a copy's folder nor the prefix itself.
    void recognisesProgramFolders()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin"));
        QVERIFY(IsInstalledFolder("/usr/lib/../bin/"));
        QVERIFY(!IsInstalledFolder(QCoreApplication::applicationDirPath()));
        QVERIFY(IsInstalledFolder(prefix.filePath("bin") + "/", prefix.path() + "/./bin"));
        QVERIFY(!IsInstalledFolder(prefix.path(), prefix.filePath("bin")));
    }
};

QTEST_GUILESS_MAIN(tst_InstalledFolder)
#include "tst_InstalledFolder.moc"
