#include "../support/FakeDialogRunner.h"
#include "app/Settings.h"
#include "windows/frmIPAddress.h"
#include "windows/frmSettings.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

Settings Sample()
{
    Settings settings;
    settings.ServerIP = "192.168.0.7";
    settings.ServerPort = 30666;
    settings.ServerTimeout = 2;
    settings.LogPath = "";
    return settings;
}

bool SameStoredValues(const Settings &a, const Settings &b)
{
    return a.ServerIP == b.ServerIP && a.ServerPort == b.ServerPort && a.ServerTimeout == b.ServerTimeout
           && a.LogPath == b.LogPath && a.CryptPassword == b.CryptPassword && a.EncryptData == b.EncryptData
           && a.AcceptSecureOnly == b.AcceptSecureOnly;
}

template <typename T>
T *Control(QWidget &window, const char *name)
{
    T *control = window.findChild<T *>(QLatin1String(name));
    if (!control)
        qFatal("no control %s", name);
    return control;
}

void Type(QWidget &window, const char *field, const QString &text)
{
    auto *edit = Control<QLineEdit>(window, field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

} // namespace

class tst_frmSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void checkBoxRuleAndPlainMode();
    void refusedOK_data();
    void refusedOK();
    void portWithoutANumberIsKept_data();
    void portWithoutANumberIsKept();
    void saveFolderIsCreatedTwoLevelsDeep();
    void enterMovesOnAndFinallyMeansOK();
    void restartDecision_data();
    void restartDecision();
    void pickerAndFolderButtonsFillTheirFields();

private:
    QTemporaryDir m_dir;
};

void tst_frmSettings::checkBoxRuleAndPlainMode()
{
    Settings settings = Sample();
    frmSettings window(settings);
    auto *crypt = Control<QCheckBox>(window, "chkCrypt");
    QWidget *dependent[] = {Control<QLineEdit>(window, "txtPassword"), Control<QLineEdit>(window, "txtPassword2"),
                            Control<QCheckBox>(window, "chkAcceptSecure")};
    for (QWidget *w : dependent)
        QVERIFY(!w->isEnabled());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(crypt, Qt::LeftButton, {}, QPoint(6, crypt->height() / 2));
    QVERIFY(crypt->isChecked());
    for (QWidget *w : dependent)
        QVERIFY(w->isEnabled());
    QCOMPARE(window.focusWidget(), dependent[0]);

    // Unchecked again with a password typed and "Accept only secure connections" ticked:
    // both stay in their disabled boxes, and OK stores plain mode.
    Type(window, "txtPassword", "kept");
    Control<QCheckBox>(window, "chkAcceptSecure")->click();
    crypt->click();
    for (QWidget *w : dependent)
        QVERIFY(!w->isEnabled());
    QCOMPARE(Control<QLineEdit>(window, "txtPassword")->text(), QString("kept"));
    QVERIFY(Control<QCheckBox>(window, "chkAcceptSecure")->isChecked());
    Control<QPushButton>(window, "cmdOK")->click();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(settings.EncryptData, 0);
    QCOMPARE(settings.CryptPassword, QString());
    QCOMPARE(settings.AcceptSecureOnly, 0);
}

void tst_frmSettings::refusedOK_data()
{
    QTest::addColumn<bool>("crypt");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("password2");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<QString>("path"); // relative to a temporary folder
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    // Every row also types a new, valid address and port: none of them may be stored.
    QTest::newRow("encrypt without a password")
        << true << "" << "" << "4000" << "5" << "" << "Cannot encrypt data without a password." << "txtPassword";
    QTest::newRow("passwords differ in one character")
        << true << "secret" << "secreT" << "4000" << "5" << "" << "Password do not match." << "txtPassword";
    QTest::newRow("port 0") << false << "" << "" << "0" << "5" << "" << "Server Port" << "txtPort";
    QTest::newRow("port 70000") << false << "" << "" << "70000" << "5" << "" << "Server Port" << "txtPort";
    QTest::newRow("empty timeout after a valid port") << false << "" << "" << "4000" << "" << "" << "Timeout" << "txtTimeout";
    QTest::newRow("timeout not a number") << false << "" << "" << "4000" << "abc" << "" << "Timeout" << "txtTimeout";
    QTest::newRow("negative timeout") << false << "" << "" << "4000" << "-1" << "" << "Timeout" << "txtTimeout";
    QTest::newRow("timeout not whole") << false << "" << "" << "4000" << "2.5" << "" << "Timeout" << "txtTimeout";
    QTest::newRow("save folder below a file")
        << false << "" << "" << "4000" << "5" << "blocker/sub" << "Path to save messages" << "txtPath";
}

void tst_frmSettings::refusedOK()
{
    QFETCH(bool, crypt);
    QFETCH(QString, password);
    QFETCH(QString, password2);
    QFETCH(QString, port);
    QFETCH(QString, timeout);
    QFETCH(QString, path);
    QFETCH(QString, message);
    QFETCH(QString, focus);

    QFile blocker(m_dir.filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const Settings before = Sample();
    Settings settings = before;
    frmSettings window(settings);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Control<QCheckBox>(window, "chkCrypt")->setChecked(crypt);
    Type(window, "txtIP", "10.9.9.9");
    Type(window, "txtPort", port);
    Type(window, "txtTimeout", timeout);
    Type(window, "txtPath", path.isEmpty() ? QString() : m_dir.filePath(path));
    Type(window, "txtPassword", password);
    Type(window, "txtPassword2", password2);

    FakeDialogRunner runner;
    runner.Queue(FakeDialogRunner::Click(QMessageBox::Ok));
    Control<QPushButton>(window, "cmdOK")->click();

    QVERIFY(runner.AllAnswered());
    QCOMPARE(runner.messages.size(), std::size_t(1));
    QVERIFY2(runner.messages[0].text.contains(message), qPrintable(runner.messages[0].text));
    QCOMPARE(runner.messages[0].icon, QMessageBox::Information);
    QVERIFY(window.isVisible());
    QCOMPARE(window.focusWidget()->objectName(), focus);
    QVERIFY(SameStoredValues(settings, before));
}

void tst_frmSettings::portWithoutANumberIsKept_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("stored");
    QTest::newRow("empty keeps the port") << "" << 30666;
    QTest::newRow("text keeps the port") << "abc" << 30666;
    QTest::newRow("spaces around a number") << " 4000 " << 4000;
    QTest::newRow("fraction rounds to a whole port") << "4000.4" << 4000;
}

void tst_frmSettings::portWithoutANumberIsKept()
{
    QFETCH(QString, port);
    QFETCH(int, stored);
    Settings settings = Sample();
    frmSettings window(settings);
    Type(window, "txtPort", port);
    Type(window, "txtTimeout", "7");
    FakeDialogRunner runner;
    Control<QPushButton>(window, "cmdOK")->click();
    QVERIFY(runner.messages.empty());
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(settings.ServerPort, stored);
    QCOMPARE(settings.ServerTimeout, 7);
}

void tst_frmSettings::saveFolderIsCreatedTwoLevelsDeep()
{
    Settings settings = Sample();
    frmSettings window(settings);
    const QString typed = QDir::toNativeSeparators(m_dir.filePath("level1/level2"));
    Type(window, "txtPath", typed);
    Control<QPushButton>(window, "cmdOK")->click();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(settings.LogPath, typed + QDir::separator());
    QVERIFY(QFileInfo(typed).isDir());

    // An empty folder field disables saving and creates nothing.
    frmSettings again(settings);
    Type(again, "txtPath", "");
    Control<QPushButton>(again, "cmdOK")->click();
    QCOMPARE(settings.LogPath, QString());
}

void tst_frmSettings::enterMovesOnAndFinallyMeansOK()
{
    Settings settings = Sample();
    frmSettings window(settings);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    const std::pair<const char *, const char *> moves[] = {
        {"txtIP", "txtPort"}, {"txtPort", "txtTimeout"}, {"txtTimeout", "chkCrypt"}};
    for (const auto &[from, to] : moves) {
        Control<QLineEdit>(window, from)->setFocus();
        QTest::keyClick(Control<QLineEdit>(window, from), Qt::Key_Return);
        QCOMPARE(window.focusWidget()->objectName(), QString(to));
    }
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(window.isVisible());

    Control<QCheckBox>(window, "chkCrypt")->click();
    Type(window, "txtPassword", "secret");
    QTest::keyClick(Control<QLineEdit>(window, "txtPassword"), Qt::Key_Return);
    QCOMPARE(window.focusWidget()->objectName(), QString("txtPassword2"));
    Type(window, "txtPassword2", "secret");
    QTest::keyClick(Control<QLineEdit>(window, "txtPassword2"), Qt::Key_Return);

    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(settings.CryptPassword, QString("secret"));
    QCOMPARE(settings.EncryptData, 1);
}

void tst_frmSettings::restartDecision_data()
{
    QTest::addColumn<int>("encryptOnOpen");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("restart");
    QTest::newRow("OK, encrypt box unchanged") << 0 << false << "cmdOK" << false;
    QTest::newRow("OK, encrypt box turned on") << 0 << true << "cmdOK" << true;
    QTest::newRow("OK, encrypt box turned off") << 1 << true << "cmdOK" << true;
    QTest::newRow("Cancel, encrypt box turned on") << 0 << true << "cmdCancel" << false;
}

void tst_frmSettings::restartDecision()
{
    QFETCH(int, encryptOnOpen);
    QFETCH(bool, toggle);
    QFETCH(QString, button);
    QFETCH(bool, restart);

    Settings settings = Sample();
    settings.EncryptData = encryptOnOpen;
    settings.CryptPassword = encryptOnOpen ? "secret" : "";
    FakeDialogRunner runner;
    runner.Queue([&](QDialog &window) {
        if (toggle)
            Control<QCheckBox>(window, "chkCrypt")->click();
        Type(window, "txtPassword", "secret");
        Type(window, "txtPassword2", "secret");
        Control<QPushButton>(window, button.toLatin1().constData())->click();
        return window.result();
    });
    QCOMPARE(frmSettings::Open(settings), restart);
    QVERIFY(runner.AllAnswered());
    QCOMPARE(settings.EncryptData, button == "cmdOK" && toggle ? 1 - encryptOnOpen : encryptOnOpen);
}

void tst_frmSettings::pickerAndFolderButtonsFillTheirFields()
{
    Settings settings = Sample();
    frmSettings window(settings);
    auto *ip = Control<QLineEdit>(window, "txtIP");
    auto *path = Control<QLineEdit>(window, "txtPath");
    FakeDialogRunner runner;

    // The picker lists this machine's addresses; "Select" takes whichever comes first.
    QString picked = "not picked";
    runner.Queue([&](QDialog &dialog) {
        Control<QPushButton>(dialog, "cmdSelect")->click();
        picked = dynamic_cast<frmIPAddress &>(dialog).SelectedAddress();
        return dialog.result();
    });
    Control<QPushButton>(window, "cmdIP")->click();
    QCOMPARE(ip->text(), picked);

    ip->setText("10.9.9.9");
    runner.Queue([](QDialog &dialog) {
        dialog.reject(); // the close box
        return dialog.result();
    });
    Control<QPushButton>(window, "cmdIP")->click();
    QCOMPARE(ip->text(), QString("10.9.9.9"));

    runner.Queue([&](QDialog &dialog) {
        dynamic_cast<QFileDialog &>(dialog).setDirectory(m_dir.path());
        return int(QDialog::Accepted);
    });
    Control<QPushButton>(window, "cmdBrowse")->click();
    QCOMPARE(path->text(), QDir::toNativeSeparators(m_dir.path()));

    runner.Queue([](QDialog &) { return int(QDialog::Rejected); });
    Control<QPushButton>(window, "cmdBrowse")->click();
    QCOMPARE(path->text(), QDir::toNativeSeparators(m_dir.path()));
    QVERIFY(runner.AllAnswered());
}

QTEST_MAIN(tst_frmSettings)
#include "tst_frmSettings.moc"
