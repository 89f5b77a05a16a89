#include "FakeDialogRunner.h"
#include "WindowTestHome.h"
#include "desktop/Autostart.h"
#include "core/Settings.h"
#include "windows/PreferencesBox.h"
#include "windows/frmSettings.h"

#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace {

QStringList Fields(const Preferences &p)
{
    return {QString::number(p.KeepHistory), QString::number(p.KeepEnciphered), QString::number(p.HistoryCount),
            QString::number(p.HistoryDays), QString::number(p.Notify), QString::number(p.CopyReceived),
            QString::number(p.HistoryMegabytes), QString::number(p.AskNewSenders), p.BlockedSenders.join(' ')};
}

} // namespace

class tst_PreferencesBox : public QObject
{
    Q_OBJECT

public:
    static void initMain() { WindowTestHome::Enter(); }

private:
    std::unique_ptr<QTemporaryDir> m_config;
    Autostart Entry() const { return Autostart(m_config->path(), QStringLiteral("/usr/bin/textdrop")); }

private slots:
    void init() { m_config = std::make_unique<QTemporaryDir>(); }

    void fieldsReachTheRecord_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("field"); // index in Fields()
        QTest::addColumn<QString>("value");
        QTest::newRow("history off") << "chkKeepHistory" << 0 << "0";
        QTest::newRow("enciphered kept") << "chkKeepEnciphered" << 1 << "1";
        QTest::newRow("count") << "txtHistoryCount" << 2 << "250";
        QTest::newRow("days") << "txtHistoryDays" << 3 << "7";
        QTest::newRow("no notifications") << "chkNotify" << 4 << "0";
        QTest::newRow("clipboard") << "chkCopyReceived" << 5 << "1";
        QTest::newRow("size") << "txtHistorySize" << 6 << "64";
        QTest::newRow("ask about new senders") << "chkAskNewSenders" << 7 << "1";
        QTest::newRow("the first blocked sender unblocked") << "cmdUnblock" << 8 << "10.0.0.8";
    }

    void fieldsReachTheRecord()
    {
        QFETCH(QString, box);
        QFETCH(int, field);
        QFETCH(QString, value);
        Preferences prefs;
        prefs.BlockedSenders = QStringList{"10.0.0.7", "10.0.0.8"};
        QStringList expected = Fields(prefs);
        expected[field] = value;
        PreferencesBox frame(prefs, Entry());
        if (auto *check = frame.findChild<QCheckBox *>(box))
            check->click();
        else if (auto *button = frame.findChild<QPushButton *>(box))
            frame.findChild<QListWidget *>()->setCurrentRow(0), button->click();
        else
            frame.findChild<QSpinBox *>(box)->setValue(value.toInt());
        QVERIFY(frame.Apply(prefs));
        QCOMPARE(Fields(prefs), expected);
    }

    void startAtLogIn_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("click");
        QTest::newRow("off, switched on") << false << true;
        QTest::newRow("on, left on") << true << false;
        QTest::newRow("on, switched off") << true << true;
    }

    void startAtLogIn()
    {
        QFETCH(bool, present);
        QFETCH(bool, click);
        if (present)
            QVERIFY(Entry().SetEnabled(true));
        Preferences prefs;
        PreferencesBox frame(prefs, Entry());
        auto *box = frame.findChild<QCheckBox *>(QStringLiteral("chkAutostart"));
        QCOMPARE(box->isChecked(), present);
        if (click)
            box->click();
        QVERIFY(frame.Apply(prefs));
        QCOMPARE(QFile::exists(Entry().EntryPath()), present != click);
        QCOMPARE(Entry().IsEnabled(), present != click);
    }

    // The entry cannot be written: the settings window stays open and stores nothing.
    void startAtLogInFailureRefusesOK()
    {
        const QString blocked = m_config->filePath(QStringLiteral("file"));
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("XDG_CONFIG_HOME", blocked.toUtf8()); // autostart folder below a file
        Settings settings;
        settings.Prefs.Notify = true;
        frmSettings window(settings);
        window.findChild<QCheckBox *>(QStringLiteral("chkAutostart"))->click();
        window.findChild<QCheckBox *>(QStringLiteral("chkNotify"))->click();
        FakeDialogRunner runner;
        window.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        qputenv("XDG_CONFIG_HOME", QDir::homePath().toUtf8());
        QCOMPARE(runner.messages.size(), 1);
        QVERIFY(runner.messages[0].text.startsWith(QStringLiteral("Start at log-in could not be changed")));
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(settings.Prefs.Notify);
    }
};

QTEST_MAIN(tst_PreferencesBox)
#include "tst_PreferencesBox.moc"
