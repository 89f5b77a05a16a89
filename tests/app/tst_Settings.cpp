#include "TestHome.h"
#include "app/AddressList.h"
#include "app/Settings.h"

#include <QSettings>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

class tst_Settings : public QObject
{
    Q_OBJECT

public:
    static void initMain() { UseTemporaryHome(); }

private slots:
    void storedNumbers_data();
    void storedNumbers();
    void appFolder();
    void writeAddressListFailure();
};

void tst_Settings::storedNumbers_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<int>("expectedPort");
    QTest::addColumn<int>("expectedTimeout");

    QTest::newRow("absent keys give the defaults") << QString() << QString() << 30666 << 2;
    QTest::newRow("letters fall back") << QStringLiteral("port") << QStringLiteral("two") << 30666 << 2;
    QTest::newRow("fraction falls back") << QStringLiteral("30666.5") << QStringLiteral("1.5") << 30666 << 2;
}

void tst_Settings::storedNumbers()
{
    QFETCH(QString, port);
    QFETCH(QString, timeout);
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Textdrop"), QStringLiteral("Textdrop"));
        store.clear();
        store.beginGroup(QStringLiteral("Settings"));
        if (!port.isNull())
            store.setValue(QStringLiteral("ServerPort"), port);
        if (!timeout.isNull())
            store.setValue(QStringLiteral("ServerTimeout"), timeout);
    }
    Settings settings;
    settings.Load();
    QTEST(settings.ServerPort, "expectedPort");
    QTEST(settings.ServerTimeout, "expectedTimeout");
}

void tst_Settings::appFolder()
{
    QTemporaryDir root;
    const QString data = root.filePath(QStringLiteral("data/Textdrop"));

    Settings portable;
    portable.BuildPaths(root.path(), data);
    QCOMPARE(portable.AppFolder, root.path() + QStringLiteral("/"));
    QCOMPARE(portable.AddressFile, root.path() + QStringLiteral("/tdsettings.ini"));
    QVERIFY(!QFileInfo::exists(data));

    // A program folder that cannot hold the file (here: one that is not there at all).
    Settings installed;
    installed.BuildPaths(root.filePath(QStringLiteral("missing")), data);
    QCOMPARE(installed.AppFolder, data + QStringLiteral("/"));
    QVERIFY(QFileInfo(data).isDir());
}

void tst_Settings::writeAddressListFailure()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("tdsettings.ini"));
    const QByteArray old("10.0.0.1\r\n10.0.0.2\r\n");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(old);
    file.close();

    // A file size limit stands in for a full disk: writes past 64 bytes fail.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool written = WriteAddressList(path, QStringList(20, QStringLiteral("192.168.100.100")), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("tdsettings.ini")});
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_Settings.moc"
