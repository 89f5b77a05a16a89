#pragma once

#include <QDialog>
#include <QString>

struct Settings;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class PreferencesBox;
class QPushButton;
class PhoneServer;

// Edits the server settings and the security options of the settings record. OK checks every
// field and, only when all of them are usable, stores them all and closes; Cancel stores
// nothing. The record is not written to the settings store here.
class frmSettings : public QDialog
{
    Q_OBJECT

public:
    // Fills the fields from the record; phones: the paired phones to list, null when none can be.
    explicit frmSettings(Settings &settings, QWidget *parent = nullptr, PhoneServer *phones = nullptr);

    // Opens the window modally on the record; true when OK stored the fields.
    static bool Open(Settings &settings, QWidget *parent = nullptr, PhoneServer *phones = nullptr);

    // A folder picked by the user, with the platform's separators; "" when cancelled.
    static QString BrowseForFolder(QWidget *owner, const QString &title);
    // Creates every missing folder of path. True when the folder exists afterwards.
    static bool MakePath(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The server box (address and port side by side, time-out, save folder) and the security box.
    void BuildServerFrame();
    void BuildSecureFrame();
    void BuildNetworkFrame();
    // The port phones pair on and, once phones can pair, the paired ones.
    QGroupBox *BuildPhoneFrame(PhoneServer *phones);
    void SetCheck();
    void ShowTimeoutInSeconds();
    void onCryptClicked();
    void onIP();
    void onBrowse();
    void onOK();
    void Refuse(const QString &message, QLineEdit *field);

    Settings &m_settings;

    QGroupBox *Frame1;
    QLineEdit *txtIP;
    QPushButton *cmdIP;
    QLineEdit *txtPort;
    QLineEdit *txtTimeout;
    QLabel *lblSeconds;
    QLineEdit *txtPath;
    QPushButton *cmdBrowse;
    QGroupBox *Frame2;
    QCheckBox *chkCrypt;
    QCheckBox *chkAcceptSecure;
    QCheckBox *chkRemember;
    QComboBox *cmbCipher;
    QLineEdit *txtPassword;
    QLineEdit *txtPassword2;
    QGroupBox *m_network;
    QLineEdit *txtName;
    QLineEdit *txtPhonePort;
    PreferencesBox *m_prefs;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
};
