#include "app/AppController.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// Where the remembered addresses go: beside a portable copy, never beside an installed one.
class tst_SettingsPaths : public QObject
{
    Q_OBJECT

private slots:
    void addressFileFolder()
    {
        QTemporaryDir data;
        const QString dataFolder = data.filePath("share/Textdrop");

        QTemporaryDir portable;
        QCOMPARE(AppController::AppFolderFor(portable.path(), dataFolder),
                 QDir::toNativeSeparators(portable.path() + "/"));
        QVERIFY(!QFileInfo::exists(dataFolder));

        // /usr/bin is writable when run as root; the data folder must win all the same.
        QCOMPARE(AppController::AppFolderFor("/usr/bin", dataFolder), QDir::toNativeSeparators(dataFolder + "/"));
        QVERIFY(QFileInfo(dataFolder).isDir());
    }
};

QTEST_GUILESS_MAIN(tst_SettingsPaths)
#include "tst_SettingsPaths.moc"
