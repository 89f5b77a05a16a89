#include "FakeDialogRunner.h"
#include "TestFiles.h"
#include "WindowTestHome.h"
#include "core/Settings.h"
#include "desktop/Autostart.h"
#include "windows/PreferencesBox.h"
#include "windows/frmSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

template <typename T = QLineEdit>
static T *Control(QWidget &window, const QString &name)
{
    return window.findChild<T *>(name);
}

// Fields and what the user types into them, in turn: {"txtPort", "0", ...}.
static void Type(QWidget &window, const QStringList &edits)
{
    for (qsizetype i = 0; i + 1 < edits.size(); i += 2) {
        Control(window, edits[i])->clear();
        QTest::keyClicks(Control(window, edits[i]), edits[i + 1]);
    }
}

static QStringList Stored(const Settings &s)
{
    return {s.Stored.ServerIP, QString::number(s.Stored.ServerPort), QString::number(s.Stored.ServerTimeout), s.Stored.LogPath,
            s.Security.PasswordText(), QString::number(s.Security.EncryptData), QString::number(s.Security.AcceptSecureOnly)};
}

// The password boxes and the secure-only box are usable only while the encrypt box is ticked.
static bool EncryptRuleHolds(QWidget &window)
{
    const bool crypt = Control<QCheckBox>(window, "chkCrypt")->isChecked();
    return Control(window, "txtPassword")->isEnabled() == crypt && Control(window, "txtPassword2")->isEnabled() == crypt
           && Control<QCheckBox>(window, "chkAcceptSecure")->isEnabled() == crypt
           && Control<QComboBox>(window, "cmbCipher")->isEnabled() == crypt;
}

class tst_frmSettings : public QObject
{
    Q_OBJECT

public:
    static void initMain() { WindowTestHome::Enter(); }

private:
    std::unique_ptr<QTemporaryDir> m_config;
    Autostart Entry() const { return Autostart(m_config->path(), QStringLiteral("/usr/bin/textdrop")); }

private slots:
    void init() { m_config = std::make_unique<QTemporaryDir>(); }

    // Tab goes round from the top down, the boxes of a row from the left.
    void tabFollowsTheBoxes()
    {
        Settings settings;
        frmSettings window(settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget *const first = QApplication::focusWidget();
        const auto place = [&window](QWidget *w) { return w->mapTo(&window, QPoint(w->width(), w->height()) / 2); };
        QWidgetList visited{first};
        for (QWidget *previous = first; visited.size() < 40; previous = visited.last()) {
            QTest::keyClick(previous, Qt::Key_Tab);
            QWidget *next = QApplication::focusWidget();
            if (next == first)
                break;
            const bool sameRow = qAbs(place(next).y() - place(previous).y()) < previous->height() / 2;
            QVERIFY2(sameRow ? place(next).x() > place(previous).x() : place(next).y() > place(previous).y(),
                     qPrintable(previous->objectName() + " -> " + next->objectName()));
            visited.append(next);
        }
        QCOMPARE(visited.last()->objectName(), QStringLiteral("cmdCancel"));
    }

    void refusedOKStoresNothing_data()
    {
        QTest::addColumn<QStringList>("edits"); // after a new address and the password "secret" twice
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("encrypt without a password") << QStringList{"txtPassword", "", "txtPassword2", ""}
                                                    << "Cannot encrypt data without a password." << "txtPassword";
        QTest::newRow("passwords differ in one character")
            << QStringList{"txtPassword2", "secreT"} << "Password do not match." << "txtPassword";
        QTest::newRow("port 0") << QStringList{"txtPort", "0"} << "Server Port" << "txtPort";
        QTest::newRow("empty timeout after a new port")
            << QStringList{"txtPort", "4000", "txtTimeout", ""} << "Timeout" << "txtTimeout";
        QTest::newRow("phone port is the server port")
            << QStringList{"txtPort", "4000", "txtPhonePort", "4000"} << "pairing phones" << "txtPhonePort";
        QTest::newRow("save folder that cannot be written")
            << QStringList{"txtPath", "/proc/"} << "cannot be written" << "txtPath";
        QTest::newRow("save folder below a file (this program)")
            << QStringList{"txtPath", QCoreApplication::applicationFilePath() + "/sub"} << "Path to save" << "txtPath";
    }

    void refusedOKStoresNothing()
    {
        QFETCH(QStringList, edits);
        QFETCH(QString, message);
        Settings settings;
        const QStringList before = Stored(settings);
        frmSettings window(settings);
        Control<QCheckBox>(window, "chkCrypt")->click();
        Type(window, QStringList{"txtIP", "10.9.9.9", "txtPassword", "secret", "txtPassword2", "secret"} + edits);
        FakeDialogRunner runner;
        Control<QPushButton>(window, "cmdOK")->click();
        QVERIFY(runner.messages.size() == 1);
        QVERIFY2(runner.messages[0].text.contains(message), qPrintable(runner.messages[0].text));
        QTEST(window.focusWidget()->objectName(), "focus");
        QCOMPARE(Stored(settings), before);
    }

    void closedWindow_data()
    {
        QTest::addColumn<bool>("encryptOnOpen"); // secure-only ticked along with it
        QTest::addColumn<bool>("toggle");
        QTest::addColumn<int>("close"); // 0 OK, 1 Cancel, 2 Enter in the re-typed password
        QTest::addColumn<QStringList>("security"); // password, encrypt, secure-only as stored
        QTest::newRow("OK, encrypt box unchanged") << true << false << 0 << QStringList{"secret", "1", "1"};
        QTest::newRow("Enter, encrypt box turned on") << false << true << 2 << QStringList{"secret", "1", "0"};
        QTest::newRow("OK, turned off: plain mode, password dropped") << true << true << 0 << QStringList{"", "0", "0"};
        QTest::newRow("Cancel, encrypt box turned on") << false << true << 1 << QStringList{"secret", "0", "0"};
    }

    void closedWindow()
    {
        QFETCH(bool, encryptOnOpen);
        QFETCH(bool, toggle);
        QFETCH(int, close);
        const bool ok = close != 1;
        Settings settings;
        settings.Security.EncryptData = settings.Security.AcceptSecureOnly = encryptOnOpen;
        settings.Security.SetPassword("secret");
        settings.Network = {"desk-3", "Discovery is off: no Avahi", {"192.0.2.1:30666"}};
        QTemporaryDir dir;
        const QString folder = QDir::toNativeSeparators(dir.filePath("level1/level2"));
        bool ruleHeld = false;
        FakeDialogRunner runner;
        runner.Queue([&](QDialog &window) {
            ruleHeld = Control<QLabel>(window, "lblDiscovery")->text() == settings.Network.State
                       && Control<QLabel>(window, "lblAddresses")->text().endsWith("192.0.2.1:30666");
            Type(window, {"txtName", "desk-4"});
            ruleHeld = ruleHeld && EncryptRuleHolds(window);
            if (toggle)
                Control<QCheckBox>(window, "chkCrypt")->click();
            ruleHeld = ruleHeld && EncryptRuleHolds(window);
            Type(window, {"txtPath", folder});
            if (close == 2)
                QTest::keyClick(Control(window, "txtPassword2"), Qt::Key_Return);
            else
                Control<QPushButton>(window, ok ? "cmdOK" : "cmdCancel")->click();
            return window.result();
        });
        QCOMPARE(frmSettings::Open(settings), ok);
        QVERIFY(runner.AllAnswered() && ruleHeld);
        QTEST(Stored(settings).mid(4), "security");
        // OK makes the save folder two levels deep and stores it with a closing separator.
        QCOMPARE(settings.Stored.LogPath, ok ? folder + QDir::separator() : QString());
        QCOMPARE(QFileInfo(folder).isDir(), ok);
        QCOMPARE(settings.Network.ComputerName, ok ? "desk-4" : "desk-3");
    }

    // Every box of the history and notifications reaches its own field of the record.
    void preferencesReachTheRecord()
    {
        const Preferences defaults;
        Preferences prefs;
        prefs.BlockedSenders = QStringList{"10.0.0.7", "10.0.0.8"};
        PreferencesBox frame(prefs, Entry());
        frame.findChild<QListWidget *>()->setCurrentRow(0);
        frame.findChild<QPushButton *>(QStringLiteral("cmdUnblock"))->click();
        frame.findChild<QSpinBox *>(QStringLiteral("txtHistoryCount"))->setValue(250);
        frame.findChild<QSpinBox *>(QStringLiteral("txtHistoryDays"))->setValue(7);
        frame.findChild<QSpinBox *>(QStringLiteral("txtHistorySize"))->setValue(64);
        for (const char *box : {"chkKeepEnciphered", "chkNotify", "chkCopyReceived", "chkAskNewSenders", "chkKeepHistory"})
            frame.findChild<QCheckBox *>(QLatin1String(box))->click();
        QVERIFY(frame.Apply(prefs));
        QCOMPARE(prefs.KeepHistory, !defaults.KeepHistory);
        QCOMPARE(prefs.KeepEnciphered, !defaults.KeepEnciphered);
        QCOMPARE(prefs.Notify, !defaults.Notify);
        QCOMPARE(prefs.CopyReceived, !defaults.CopyReceived);
        QCOMPARE(prefs.AskNewSenders, !defaults.AskNewSenders);
        QCOMPARE(prefs.BlockedSenders, QStringList{"10.0.0.8"});
        QCOMPARE(QList<int>({prefs.HistoryCount, prefs.HistoryDays, prefs.HistoryMegabytes}), QList<int>({250, 7, 64}));
    }

    // The entry cannot be written: the settings window says where, stays open and stores nothing.
    void startAtLogInFailureRefusesOK()
    {
        const QString blocked = m_config->filePath(QStringLiteral("file"));
        QVERIFY(TestFiles::Write(blocked, {}));
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
        QVERIFY(runner.messages[0].text.startsWith(QStringLiteral("Start at log-in could not be changed: ")));
        QVERIFY(runner.messages[0].text.contains(blocked)); // where
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(settings.Prefs.Notify);
    }
};

QTEST_MAIN(tst_frmSettings)
#include "tst_frmSettings.moc"
