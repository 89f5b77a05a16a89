#include "TestFiles.h"
#include "desktop/Autostart.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

using TestFiles::Read;

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
    void isEnabledReadsTheEntry_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("plain") << QByteArray("[Desktop Entry]\nExec=textdrop --hidden\n") << true;
        QTest::newRow("Hidden=true") << QByteArray("[Desktop Entry]\nHidden=true\n") << false;
        QTest::newRow("GNOME switch off, spaced")
            << QByteArray("[Desktop Entry]\r\nX-GNOME-Autostart-enabled = false\r\n") << false;
        QTest::newRow("Hidden in another group")
            << QByteArray("[Desktop Entry]\nExec=textdrop\n[Desktop Action x]\nHidden=true\n") << true;
        QTest::newRow("no entry") << QByteArray() << false;
    }

    void isEnabledReadsTheEntry()
    {
        QFETCH(QByteArray, entry);
        QTemporaryDir dir;
        Autostart autostart(dir.filePath("fresh/config"), "textdrop"); // folders made as needed
        if (!entry.isNull())
            QVERIFY(TestFiles::Write(autostart.EntryPath(), entry));
        QTEST(autostart.IsEnabled(), "enabled");
        // Switching on rewrites an entry the desktop switched off; off twice is no failure.
        QVERIFY2(autostart.SetEnabled(true) && autostart.IsEnabled(), qPrintable(autostart.errorString()));
        QVERIFY(Read(autostart.EntryPath()).startsWith("[Desktop Entry]\n"));
        QVERIFY(autostart.SetEnabled(false) && autostart.SetEnabled(false));
        QVERIFY(!QFileInfo::exists(autostart.EntryPath()) && !autostart.IsEnabled());
    }

    // A per cent sign is doubled, as the entry's field codes need; the entry is one line per key
    // whatever the path holds.
    void execArgumentEscapesAndStaysOneLine()
    {
        QCOMPARE(Autostart::ExecArgument("/x%f/td"), QString("/x%%f/td"));
        const QByteArray entry = Autostart(QString(), "/x\ny/td").Entry();
        QCOMPARE(Value(entry, "Exec"), QByteArray("\"/x\\ny/td\" --hidden"));
        QCOMPARE(Value(entry, "TryExec"), QByteArray("/x\\ny/td"));
        QCOMPARE(entry.count('\n'), 9);
    }
};

QTEST_GUILESS_MAIN(tst_Autostart)
#include "tst_Autostart.moc"
