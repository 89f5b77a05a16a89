#include "windows/frmSettings.h"

#include "core/Settings.h"
#include "core/FolderPath.h"
#include "desktop/cDialog.h"
#include "desktop/cDialogRunner.h"
#include "windows/PairedPhones.h"
#include "windows/PreferencesBox.h"
#include "windows/frmIPAddress.h"
#include "protocol/WireFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QSysInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <optional>

namespace {

// The number a field holds, in the user's notation or the plain one; nullopt for text that is
// not a number (an empty field included).
std::optional<double> NumberIn(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The controls of a box that Tab reaches, in the order they were made, which is the order
// they stand in; the parts of a compound control (a spin box's text field) are left to it.
QWidgetList Reachable(QWidget *box)
{
    QWidgetList result;
    for (QWidget *widget : box->findChildren<QWidget *>()) {
        const bool inside = std::any_of(result.cbegin(), result.cend(),
                                        [widget](const QWidget *outer) { return outer->isAncestorOf(widget); });
        if ((widget->focusPolicy() & Qt::TabFocus) && !inside)
            result.append(widget);
    }
    return result;
}

QLineEdit *NewField(const char *name, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    return field;
}

QPushButton *NewButton(const char *name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    // Enter is handled field by field; no button answers it.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLineEdit *NewPasswordField(const char *name, QWidget *parent)
{
    QLineEdit *field = NewField(name, parent);
    field->setEchoMode(QLineEdit::Password);
    field->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }")); // "*"
    return field;
}

// Proves the folder takes files: creates one there and removes it again.
bool CanWriteIn(const QString &folder)
{
    QFile probe(QDir(folder).filePath(QStringLiteral(".textdrop-write-test")));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    probe.close();
    return probe.remove();
}

} // namespace

frmSettings::frmSettings(Settings &settings, QWidget *parent, PhoneServer *phones)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_settings(settings)
{
    setWindowTitle(tr("Settings"));
    if (parent)
        setWindowIcon(parent->window()->windowIcon());

    BuildServerFrame();
    BuildSecureFrame();
    BuildNetworkFrame();
    m_prefs = new PreferencesBox(settings.Prefs, Autostart(), this);
    cmdOK = NewButton("cmdOK", tr("OK"), this);
    cmdCancel = NewButton("cmdCancel", tr("Cancel"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto *window = new QVBoxLayout(this);
    window->setContentsMargins(4, 3, 4, 3);
    window->addWidget(Frame1);
    window->addWidget(Frame2);
    window->addWidget(m_network);
    window->addWidget(m_prefs);
    QGroupBox *phoneFrame = BuildPhoneFrame(phones);
    window->addWidget(phoneFrame);
    window->addLayout(buttons);
    window->setSizeConstraint(QLayout::SetFixedSize);

    // Tab goes through the boxes from the top down.
    const QWidgetList order = QWidgetList{txtIP, cmdIP, txtPort, txtTimeout, txtPath, cmdBrowse, chkCrypt, txtPassword,
                                          txtPassword2, chkRemember, cmbCipher, chkAcceptSecure, txtName}
                              + Reachable(m_prefs) + Reachable(phoneFrame) + QWidgetList{cmdOK, cmdCancel};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    txtIP->setFocus();

    for (QLineEdit *field : {txtIP, txtPort, txtTimeout, txtPassword, txtPassword2, txtName})
        field->installEventFilter(this);

    connect(chkCrypt, &QCheckBox::toggled, this, &frmSettings::onCryptClicked);
    connect(cmdIP, &QPushButton::clicked, this, &frmSettings::onIP);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmSettings::onBrowse);
    connect(cmdOK, &QPushButton::clicked, this, &frmSettings::onOK);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSettings::reject);

    connect(txtTimeout, &QLineEdit::textChanged, this, &frmSettings::ShowTimeoutInSeconds);

    SetCheck();
    txtIP->setText(settings.Stored.ServerIP);
    txtPort->setText(QString::number(settings.Stored.ServerPort));
    txtTimeout->setText(QString::number(settings.Stored.ServerTimeout));
    chkCrypt->setChecked(settings.Security.EncryptData);
    txtPath->setText(settings.Stored.LogPath);
    txtPassword->setText(settings.Security.PasswordText());
    txtPassword2->setText(txtPassword->text());
    chkAcceptSecure->setChecked(settings.Security.AcceptSecureOnly);
    chkRemember->setChecked(settings.Security.RememberPassword);
    cmbCipher->setCurrentIndex(cmbCipher->findData(int(settings.Stored.Cipher)));
    txtPhonePort->setText(QString::number(settings.Prefs.PhonePort));
    ShowTimeoutInSeconds();
    // Opened to ask for a password that secure-only needs.
    if (settings.Security.EncryptData && !settings.Security.HasPassword())
        txtPassword->setFocus();
}

void frmSettings::BuildServerFrame()
{
    Frame1 = new QGroupBox(tr("Server Settings"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtIP = NewField("txtIP", Frame1);
    cmdIP = NewButton("cmdIP", QStringLiteral("..."), Frame1);
    txtPort = NewField("txtPort", Frame1);
    txtTimeout = NewField("txtTimeout", Frame1);
    txtPath = NewField("txtPath", Frame1);
    cmdBrowse = NewButton("cmdBrowse", QStringLiteral("..."), Frame1);

    // Laid out as designed: address and port side by side, time-out, save folder.
    const auto fieldWidth = [](QWidget *w, int pixels) { w->setFixedWidth(pixels); };
    fieldWidth(cmdIP, 21);
    fieldWidth(cmdBrowse, 21);
    fieldWidth(txtPort, 53);
    fieldWidth(txtTimeout, 53);
    txtIP->setMinimumWidth(132);

    auto *server = new QGridLayout(Frame1);
    server->addWidget(new QLabel(tr("Enter your IP address for server:"), Frame1), 0, 0, 1, 2);
    server->addWidget(new QLabel(tr("Server Port:"), Frame1), 0, 2);
    server->addWidget(txtIP, 1, 0);
    server->addWidget(cmdIP, 1, 1);
    server->addWidget(txtPort, 1, 2);
    server->addWidget(new QLabel(tr("Timeout:"), Frame1), 2, 0, 1, 3);
    auto *timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(txtTimeout);
    lblSeconds = new QLabel(Frame1);
    lblSeconds->setObjectName(QStringLiteral("lblSeconds"));
    timeoutRow->addWidget(lblSeconds);
    timeoutRow->addStretch(1);
    server->addLayout(timeoutRow, 3, 0, 1, 3);
    server->addWidget(new QLabel(tr("Path to save messages: (Blank Disables Save)"), Frame1), 4, 0, 1, 3);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(txtPath, 1);
    pathRow->addWidget(cmdBrowse);
    server->addLayout(pathRow, 5, 0, 1, 3);
}

void frmSettings::BuildSecureFrame()
{
    Frame2 = new QGroupBox(tr("Secure Transfers"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    chkCrypt = new QCheckBox(tr("Encrypt all data being sent"), Frame2);
    chkCrypt->setObjectName(QStringLiteral("chkCrypt"));
    txtPassword = NewPasswordField("txtPassword", Frame2);
    txtPassword2 = NewPasswordField("txtPassword2", Frame2);
    chkAcceptSecure = new QCheckBox(tr("Accept only secure connections"), Frame2);
    chkAcceptSecure->setObjectName(QStringLiteral("chkAcceptSecure"));
    // Kept in the desktop's keyring, never in the settings file; off unless asked for.
    chkRemember = new QCheckBox(tr("Remember the password"), Frame2);
    chkRemember->setObjectName(QStringLiteral("chkRemember"));
    cmbCipher = new QComboBox(Frame2);
    cmbCipher->setObjectName(QStringLiteral("cmbCipher"));
    cmbCipher->addItem(tr("Sealed"), int(ZaridoDovo::Cipher::Sealed));
    cmbCipher->addItem(tr("Legacy (compatible with older copies; weak)"), int(ZaridoDovo::Cipher::Legacy));

    auto *secure = new QVBoxLayout(Frame2);
    secure->addWidget(chkCrypt);
    secure->addWidget(new QLabel(tr("Password:"), Frame2));
    secure->addWidget(txtPassword);
    secure->addWidget(new QLabel(tr("Re-Type Password:"), Frame2));
    secure->addWidget(txtPassword2);
    secure->addWidget(chkRemember);
    secure->addWidget(new QLabel(tr("Cipher:"), Frame2));
    secure->addWidget(cmbCipher);
    secure->addWidget(chkAcceptSecure);
}

void frmSettings::BuildNetworkFrame()
{
    m_network = new QGroupBox(tr("This Computer on the Network"), this);
    txtName = NewField("txtName", m_network);
    txtName->setText(m_settings.Network.ComputerName);
    txtName->setPlaceholderText(QSysInfo::machineHostName());
    auto *state = new QLabel(m_settings.Network.State, m_network);
    state->setObjectName(QStringLiteral("lblDiscovery"));
    state->setWordWrap(true);
    auto *addresses = new QLabel(tr("Others reach it at: %1").arg(m_settings.Network.Addresses.join(QStringLiteral(", "))),
                                 m_network);
    addresses->setObjectName(QStringLiteral("lblAddresses"));
    addresses->setWordWrap(true);
    addresses->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel *label : {state, addresses})
        label->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(m_network);
    layout->addWidget(new QLabel(tr("Name shown to other computers:"), m_network));
    layout->addWidget(txtName);
    layout->addWidget(state);
    layout->addWidget(addresses);
}

QGroupBox *frmSettings::BuildPhoneFrame(PhoneServer *phones)
{
    auto *frame = new QGroupBox(tr("Phones"), this);
    txtPhonePort = NewField("txtPhonePort", frame);
    txtPhonePort->setFixedWidth(53);
    auto *layout = new QGridLayout(frame);
    layout->addWidget(new QLabel(tr("Port for pairing phones:"), frame), 0, 0);
    layout->addWidget(txtPhonePort, 0, 1);
    layout->setColumnStretch(2, 1);
    if (phones)
        layout->addWidget(new PairedPhones(*phones, frame), 1, 0, 1, 3);
    return frame;
}

void frmSettings::ShowTimeoutInSeconds()
{
    // The receiver counts its time-out in idle ticks and ends a silent connection on the tick
    // after the last one counted.
    const std::optional<double> ticks = NumberIn(txtTimeout->text());
    const int tickSeconds = ZaridoDovo::IdleTickMilliseconds / 1000;
    if (!ticks || *ticks != std::floor(*ticks) || *ticks < 0 || *ticks > INT_MAX / tickSeconds - 1) {
        lblSeconds->setText(tr("ticks of %1 s").arg(tickSeconds));
        return;
    }
    lblSeconds->setText(tr("ticks of %1 s: a silent connection ends after %2 s")
                            .arg(tickSeconds)
                            .arg((qint64(*ticks) + 1) * tickSeconds));
}

bool frmSettings::Open(Settings &settings, QWidget *parent, PhoneServer *phones)
{
    QPointer<frmSettings> window = new frmSettings(settings, parent, phones);
    const int result = cDialogRunner::Current().Exec(*window);
    // The window may have gone with its parent while it was open (the program quitting).
    const bool accepted = window && result == QDialog::Accepted;
    if (window) {
        // The fields' copies of the password go with the window, not later.
        window->txtPassword->clear();
        window->txtPassword2->clear();
    }
    delete window;
    return accepted;
}

QString frmSettings::BrowseForFolder(QWidget *owner, const QString &title)
{
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (cDialogRunner::Current().Exec(dialog) != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || !QFileInfo(chosen.first()).isDir())
        return {};
    return QDir::toNativeSeparators(chosen.first());
}

bool frmSettings::MakePath(const QString &path)
{
    return QDir().mkpath(path);
}

void frmSettings::SetCheck()
{
    // The values of disabled controls stay; the style greys the boxes out.
    const bool crypt = chkCrypt->isChecked();
    txtPassword->setEnabled(crypt);
    txtPassword2->setEnabled(crypt);
    chkAcceptSecure->setEnabled(crypt);
    chkRemember->setEnabled(crypt);
    cmbCipher->setEnabled(crypt);
}

void frmSettings::onCryptClicked()
{
    SetCheck();
    if (isVisible() && txtPassword->isEnabled())
        txtPassword->setFocus();
}

void frmSettings::onIP()
{
    if (const std::optional<QString> picked = frmIPAddress::Pick(this))
        txtIP->setText(*picked);
}

void frmSettings::onBrowse()
{
    const QString folder = BrowseForFolder(this, QString());
    if (!folder.isEmpty())
        txtPath->setText(folder);
}

void frmSettings::Refuse(const QString &message, QLineEdit *field)
{
    cDialog::ShowMessage(this, message, QMessageBox::Information);
    field->setFocus();
}

void frmSettings::onOK()
{
    // Every field is checked before any is stored, so a refused OK leaves the record as it was.
    const bool crypt = chkCrypt->isChecked();
    if (crypt && txtPassword->text().isEmpty()) {
        Refuse(tr("Cannot encrypt data without a password."), txtPassword);
        return;
    }
    if (crypt && txtPassword->text() != txtPassword2->text()) {
        Refuse(tr("Password do not match."), txtPassword);
        return;
    }

    // A port field without a number keeps the port; a number must be a usable port.
    int port = m_settings.Stored.ServerPort;
    if (const std::optional<double> number = NumberIn(txtPort->text())) {
        const double rounded = std::nearbyint(*number);
        if (rounded < 1 || rounded > 65535) {
            Refuse(tr("Server Port must be a number from 1 to 65535."), txtPort);
            return;
        }
        port = int(rounded);
    }

    // The phone page has a port of its own: the message port's wire format stays as it is.
    int phonePort = m_settings.Prefs.PhonePort;
    if (const std::optional<double> number = NumberIn(txtPhonePort->text()))
        phonePort = int(std::clamp(std::nearbyint(*number), 0.0, 65536.0));
    if (phonePort < 1 || phonePort > 65535 || phonePort == port) {
        Refuse(tr("Port for pairing phones must be a number from 1 to 65535, other than the Server Port."), txtPhonePort);
        return;
    }

    const std::optional<double> timeout = NumberIn(txtTimeout->text());
    if (!timeout || *timeout != std::floor(*timeout) || *timeout < 0 || *timeout > INT_MAX) {
        Refuse(tr("Timeout must be a whole number, 0 or more."), txtTimeout);
        return;
    }

    // Creating the folder is the last check: it is the only one that changes anything.
    const QString path = FolderPath(txtPath->text());
    if (!path.isEmpty()) {
        if (!MakePath(path)) {
            Refuse(tr("Path to save messages: the folder %1 cannot be created.").arg(path), txtPath);
            return;
        }
        if (!CanWriteIn(path)) {
            Refuse(tr("Path to save messages: the folder %1 cannot be written.").arg(path), txtPath);
            return;
        }
    }

    // The log-in entry is written last of all: it is the only change outside the record.
    if (!m_prefs->Apply(m_settings.Prefs)) {
        cDialog::ShowMessage(this, tr("Start at log-in could not be changed: %1").arg(m_prefs->errorString()),
                             QMessageBox::Warning);
        return;
    }
    m_settings.Security.SetPassword(crypt ? txtPassword->text() : QString());
    m_settings.Security.EncryptData = crypt;
    m_settings.Stored.ServerIP = txtIP->text();
    m_settings.Stored.ServerPort = port;
    m_settings.Stored.LogPath = path;
    m_settings.Security.AcceptSecureOnly = crypt && chkAcceptSecure->isChecked();
    m_settings.Security.RememberPassword = crypt && chkRemember->isChecked();
    // Kept when encryption is off, so turning it on again brings back the user's choice.
    m_settings.Stored.Cipher = ZaridoDovo::Cipher(cmbCipher->currentData().toInt());
    m_settings.Stored.ServerTimeout = int(*timeout);
    m_settings.Network.ComputerName = txtName->text().trimmed();
    m_settings.Prefs.PhonePort = phonePort;
    accept();
}

bool frmSettings::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QDialog::eventFilter(watched, event);

    // Enter moves on to the next field; in the re-typed password it means OK.
    if (watched == txtIP)
        txtPort->setFocus();
    else if (watched == txtPort)
        txtTimeout->setFocus();
    else if (watched == txtTimeout)
        chkCrypt->setFocus();
    else if (watched == txtPassword)
        txtPassword2->setFocus();
    else if (watched == txtPassword2)
        onOK();
    else
        return QDialog::eventFilter(watched, event);
    return true;
}

void frmSettings::keyPressEvent(QKeyEvent *event)
{
    // Escape does not close this window: only Cancel and the close box do.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
