#include "core/InstalledFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class tst_InstalledFolder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix; // a custom install prefix, with bin/ made in initTestCase

private slots:
    void initTestCase() { QVERIFY(QDir(m_prefix.path()).mkpath("bin")); }

    void recognisesProgramFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("installFolder"); // empty: this build's
        QTest::addColumn<bool>("installed");
        const QString bin = m_prefix.filePath("bin");
        QTest::newRow("/usr/bin/, trailing slash") << "/usr/bin/" << "" << true;
        QTest::newRow("/usr/lib/../bin") << "/usr/lib/../bin" << "" << true;
        QTest::newRow("this build's install folder") << TEXTDROP_INSTALL_BINDIR << "" << true;
        QTest::newRow("/usr") << "/usr" << "" << false;
        QTest::newRow("relative") << "bin" << "" << false;
        QTest::newRow("this test's folder") << QCoreApplication::applicationDirPath() << "" << false;
        QTest::newRow("a custom prefix's bin") << bin + "/" << m_prefix.path() + "/./bin" << true;
        QTest::newRow("a custom prefix") << m_prefix.path() << bin << false;
    }
    void recognisesProgramFolders()
    {
        QFETCH(QString, folder);
        QFETCH(QString, installFolder);
        QFETCH(bool, installed);
        if (!QDir(folder).exists() && installed)
            QSKIP("not on this machine");
        QCOMPARE(installFolder.isEmpty() ? IsInstalledFolder(folder) : IsInstalledFolder(folder, installFolder), installed);
    }
};

QTEST_GUILESS_MAIN(tst_InstalledFolder)
#include "tst_InstalledFolder.moc"
