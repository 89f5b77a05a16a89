#include "TestFiles.h"
#include "desktop/Autostart.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

using TestFiles::Read;

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    return QDir().mkpath(QFileInfo(path).path()) && TestFiles::Write(path, bytes);
}

// The value of an entry's key.
QByteArray Value(const QByteArray &entry, const QByteArray &key)
{
    for (const QByteArray &line : entry.split('\n')) {
        if (line.startsWith(key + "="))
            return line.mid(key.size() + 1);
    }
    return "<none>";
}

} // namespace

class tst_Autostart : public QObject
{
    Q_OBJECT

private slots:
    void configHomeFollowsXdgConfigHome_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QString>("expected");
        const QString fallback = QDir::homePath() + "/.config";
        QTest::newRow("absolute") << QByteArray("/srv/cfg") << QString("/srv/cfg");
        QTest::newRow("unset") << QByteArray() << fallback;
        QTest::newRow("relative is ignored") << QByteArray("cfg") << fallback;
    }

    void configHomeFollowsXdgConfigHome()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QString, expected);
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        if (variable.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", variable);
        const QString home = Autostart::DefaultConfigHome();
        qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(home, expected);
        QCOMPARE(Autostart(home, "textdrop").EntryPath(), expected + "/autostart/org.example.Textdrop.desktop");
    }

    void failuresAreReported()
    {
        QTemporaryDir dir;
        // A file where the autostart folder belongs: nothing can be created under it.
        QVERIFY(WriteAll(dir.filePath("autostart"), "not a folder"));
        Autostart autostart(dir.path(), "textdrop");
        QVERIFY(!autostart.SetEnabled(true));
        QVERIFY(!autostart.errorString().isEmpty());
        QVERIFY(!autostart.IsEnabled());
        QCOMPARE(Read(dir.filePath("autostart")), QByteArray("not a folder"));

        // An entry that cannot be removed: a folder of that name with something in it.
        QTemporaryDir other;
        Autostart stuck(other.path(), "textdrop");
        QVERIFY(WriteAll(stuck.EntryPath() + "/inside", "x"));
        QVERIFY(!stuck.SetEnabled(false));
        QVERIFY(stuck.errorString().contains(stuck.EntryPath()));
    }

    void isEnabledReadsTheEntry_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("plain") << QByteArray("[Desktop Entry]\nExec=textdrop --hidden\n") << true;
        QTest::newRow("Hidden=true") << QByteArray("[Desktop Entry]\nHidden=true\n") << false;
        QTest::newRow("Hidden=false") << QByteArray("[Desktop Entry]\nHidden=false\n") << true;
        QTest::newRow("GNOME switch off, spaced")
            << QByteArray("[Desktop Entry]\r\nX-GNOME-Autostart-enabled = false\r\n") << false;
        QTest::newRow("Hidden in another group")
            << QByteArray("[Desktop Entry]\nExec=textdrop\n[Desktop Action x]\nHidden=true\n") << true;
        QTest::newRow("empty file") << QByteArray("") << true;
        QTest::newRow("no entry") << QByteArray() << false;
    }

    void isEnabledReadsTheEntry()
    {
        QFETCH(QByteArray, entry);
        QTemporaryDir dir;
        Autostart autostart(dir.filePath("fresh/config"), "textdrop"); // folders made as needed
        if (!entry.isNull())
            QVERIFY(WriteAll(autostart.EntryPath(), entry));
        QTEST(autostart.IsEnabled(), "enabled");
        // Switching on rewrites an entry the desktop switched off; off twice is no failure.
        QVERIFY2(autostart.SetEnabled(true) && autostart.IsEnabled(), qPrintable(autostart.errorString()));
        QVERIFY(Read(autostart.EntryPath()).startsWith("[Desktop Entry]\n"));
        QVERIFY(autostart.SetEnabled(false) && autostart.SetEnabled(false));
        QVERIFY(!QFileInfo::exists(autostart.EntryPath()) && !autostart.IsEnabled());
    }

    void execArgumentQuotesAndEscapes_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("tryExec");
        const QString plain("/usr/bin/textdrop");
        QTest::newRow("plain path") << plain << plain << plain;
        QTest::newRow("space") << QString("/home/a b/td") << QString("\"/home/a b/td\"") << QString("/home/a b/td");
        QTest::newRow("dollar") << QString("/x$HOME/td") << QString("\"/x\\\\$HOME/td\"") << QString("/x$HOME/td");
        QTest::newRow("quote") << QString("/x\"y/td") << QString("\"/x\\\\\"y/td\"") << QString("/x\"y/td");
        QTest::newRow("backslash") << QString("/x\\y/td") << QString("\"/x\\\\\\\\y/td\"") << QString("/x\\\\y/td");
        QTest::newRow("percent, unquoted") << QString("/x%f/td") << QString("/x%%f/td") << QString("/x%f/td");
        QTest::newRow("newline") << QString("/x\ny/td") << QString("\"/x\\ny/td\"") << QString("/x\\ny/td");
        QTest::newRow("empty") << QString() << QString("\"\"") << QString();
    }

    void execArgumentQuotesAndEscapes()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QFETCH(QString, tryExec);
        QCOMPARE(Autostart::ExecArgument(program), exec);
        // The entry is one line per key whatever the path holds.
        const QByteArray entry = Autostart(QString(), program).Entry();
        QCOMPARE(Value(entry, "Exec"), exec.toUtf8() + " --hidden");
        QCOMPARE(Value(entry, "TryExec"), tryExec.toUtf8());
        QCOMPARE(entry.count('\n'), 9);
    }
};

QTEST_GUILESS_MAIN(tst_Autostart)
#include "tst_Autostart.moc"
