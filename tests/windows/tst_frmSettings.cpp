#include "../support/FakeDialogRunner.h"
#include "app/Settings.h"
#include "windows/frmSettings.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

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
    return {s.ServerIP, QString::number(s.ServerPort), QString::number(s.ServerTimeout), s.LogPath, s.CryptPassword,
            QString::number(s.EncryptData), QString::number(s.AcceptSecureOnly)};
}

// The password boxes and the secure-only box are usable only while the encrypt box is ticked.
static bool EncryptRuleHolds(QWidget &window)
{
    const bool crypt = Control<QCheckBox>(window, "chkCrypt")->isChecked();
    return Control(window, "txtPassword")->isEnabled() == crypt && Control(window, "txtPassword2")->isEnabled() == crypt
           && Control<QCheckBox>(window, "chkAcceptSecure")->isEnabled() == crypt;
}

class tst_frmSettings : public QObject
{
    Q_OBJECT

private slots:
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
        QTest::newRow("port 65536") << QStringList{"txtPort", "65536"} << "Server Port" << "txtPort";
        QTest::newRow("empty timeout after a new port")
            << QStringList{"txtPort", "4000", "txtTimeout", ""} << "Timeout" << "txtTimeout";
        QTest::newRow("timeout not whole") << QStringList{"txtTimeout", "2.5"} << "Timeout" << "txtTimeout";
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
        // The server is restarted only when OK stored another encrypt choice.
        QTest::addColumn<int>("encryptOnOpen"); // secure-only ticked along with it
        QTest::addColumn<bool>("toggle");
        QTest::addColumn<bool>("ok"); // OK, or else Cancel
        QTest::addColumn<QStringList>("security"); // password, encrypt, secure-only as stored
        QTest::newRow("OK, encrypt box unchanged") << 1 << false << true << QStringList{"secret", "1", "1"};
        QTest::newRow("OK, encrypt box turned on") << 0 << true << true << QStringList{"secret", "1", "0"};
        QTest::newRow("OK, turned off: plain mode, password dropped") << 1 << true << true << QStringList{"", "0", "0"};
        QTest::newRow("Cancel, encrypt box turned on") << 0 << true << false << QStringList{"secret", "0", "0"};
    }

    void closedWindow()
    {
        QFETCH(int, encryptOnOpen);
        QFETCH(bool, toggle);
        QFETCH(bool, ok);
        Settings settings;
        settings.EncryptData = settings.AcceptSecureOnly = encryptOnOpen;
        settings.CryptPassword = "secret";
        QTemporaryDir dir;
        const QString folder = QDir::toNativeSeparators(dir.filePath("level1/level2"));
        bool ruleHeld = false;
        FakeDialogRunner runner;
        runner.Queue([&](QDialog &window) {
            ruleHeld = EncryptRuleHolds(window);
            if (toggle)
                Control<QCheckBox>(window, "chkCrypt")->click();
            ruleHeld = ruleHeld && EncryptRuleHolds(window);
            Type(window, {"txtPath", folder});
            Control<QPushButton>(window, ok ? "cmdOK" : "cmdCancel")->click();
            return window.result();
        });
        QCOMPARE(frmSettings::Open(settings), ok && toggle);
        QVERIFY(runner.AllAnswered() && ruleHeld);
        QTEST(Stored(settings).mid(4), "security");
        // OK makes the save folder two levels deep and stores it with a closing separator.
        QCOMPARE(settings.LogPath, ok ? folder + QDir::separator() : QString());
        QCOMPARE(QFileInfo(folder).isDir(), ok);
    }
};

QTEST_MAIN(tst_frmSettings)
#include "tst_frmSettings.moc"
