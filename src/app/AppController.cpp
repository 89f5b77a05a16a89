#include "app/AppController.h"

#include "TextdropVersion.h"
#include "core/AddressList.h"
#include "desktop/PasswordKeyring.h"
#include "desktop/SingleInstance.h"
#include "crypto/Sodium.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "core/FolderPath.h"
#include "core/InstalledFolder.h"
#include "core/MessageArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>

#include <utility>

AppController::AppController(const QString &programFolder, int tickMilliseconds, const QString &keyringService,
                             QObject *parent)
    : QObject(parent)
    , m_programFolder(programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder)
    , m_tickMilliseconds(tickMilliseconds)
    , m_store(new SettingsStore(this))
    , m_instance(new SingleInstance(QString(), this))
    , m_keyring(new PasswordKeyring(keyringService, this))
{
    m_Run.AppVersion = QStringLiteral("v" TEXTDROP_VERSION);
    connect(m_keyring, &PasswordKeyring::ReadFinished, this, &AppController::OnPasswordRead);
    connect(m_keyring, &PasswordKeyring::WriteFinished, this, &AppController::OnPasswordWritten);
}

AppController::~AppController() = default;

bool AppController::Acquire()
{
    m_Run.AlreadyRunning = !m_instance->Acquire();
    return !m_Run.AlreadyRunning;
}

SingleInstance &AppController::Instance()
{
    return *m_instance;
}

QStringList AppController::Load(LogView *logView)
{
    m_Server = new CZaridoDovoServer(this, m_tickMilliseconds);
    m_msg = new CZaridoDovoClient(this);
    m_logView = logView;
    m_msg->Log().Start(QString(), logView);
    BuildPaths(m_programFolder, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    m_Server->SetReplayFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    m_msg->SetSaltFile(QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("sender-salt"));
    const QStringList addresses = ReadAddressList(m_Run.AddressFile);
    m_Settings.Stored.Load(*m_store);
    m_Settings.Prefs.Load(*m_store);
    m_Settings.Security.Load(*m_store);
    m_keyringMayHold = m_readingKeyring = m_Settings.Security.RememberPassword;
    if (m_readingKeyring)
        m_keyring->Read();
    return addresses;
}

void AppController::OnPasswordRead(bool ok, const QString &password, const QString &error)
{
    m_readingKeyring = false;
    if (ok && !password.isEmpty()) {
        m_Settings.Security.SetPassword(password);
        m_Settings.Security.EncryptData = true;
    } else {
        emit KeyringFailed(tr("The remembered password could not be read from the keyring: %1").arg(error));
    }
    if (std::exchange(m_startWanted, false))
        StartServer();
}

void AppController::OnPasswordWritten(bool ok, const QString &error)
{
    if (ok)
        return;
    // Nothing is remembered: the next start must not look for it.
    m_Settings.Security.RememberPassword = false;
    m_Settings.Security.Save(*m_store);
    emit KeyringFailed(tr("The password could not be kept in the keyring: %1").arg(error));
}

QString AppController::AppFolderFor(const QString &programFolder, const QString &dataFolder)
{
    // Root can write /usr/bin: an installed program's folder never counts as a portable copy's.
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable() && !IsInstalledFolder(programFolder))
        return FolderPath(programFolder);
    QDir().mkpath(dataFolder);
    return FolderPath(dataFolder);
}

void AppController::BuildPaths(const QString &programFolder, const QString &dataFolder)
{
    m_Run.AppFolder = AppFolderFor(programFolder, dataFolder);
    m_Run.AddressFile = m_Run.AppFolder + QStringLiteral("tdsettings.ini");
}

void AppController::StartServer()
{
    if (!m_Server)
        return;
    if (m_readingKeyring) {
        m_startWanted = true;
        return;
    }
    // A restart attaches the log again.
    m_Server->Log().Start(QString(), m_logView);
    m_running = ServerChoice::From(m_Settings);
    const bool started =
        m_Server->StartServer(m_running.ip, m_running.port, m_running.timeout, m_running.password, m_running.secureOnly,
                              m_running.cipher);
    // A receiver on one address has texts sent from it too, so the answers find it.
    m_msg->SetSourceAddress(started ? m_Server->LocalIP() : QString());
    // An empty address asks for every local one; a failed start leaves it empty.
    const QString ip = m_Server->LocalIP().isEmpty() ? QHostAddress(QHostAddress::AnyIPv4).toString() : m_Server->LocalIP();
    emit ServerStarted(started, ip + QLatin1Char(':') + QString::number(m_Server->LocalPort()),
                       m_running.CaptionSuffix());
    // The receiver refuses plain text and cannot open enciphered text until a password comes.
    if (m_running.secureOnly && !m_Settings.Security.HasPassword()) {
        m_Server->AddLog(QStringLiteral("Accept only secure connections is chosen but no password is set: "
                                        "every message is refused until one is entered in the settings"));
        emit PasswordNeeded();
    }
}

void AppController::RestartServer()
{
    if (!m_Server)
        return;
    m_Server->StopServer();
    StartServer();
}

void AppController::ApplySettings()
{
    if (!(ServerChoice::From(m_Settings) == m_running))
        RestartServer();
    SaveSettings();
    const SecurityChoices &security = m_Settings.Security;
    if (security.RememberPassword && security.HasPassword()) {
        m_keyringMayHold = true;
        m_keyring->Write(security.PasswordText());
    } else if (std::exchange(m_keyringMayHold, false)) {
        m_keyring->Forget();
    }
}

void AppController::SaveSettings() const
{
    if (m_Run.AlreadyRunning)
        return; // a refused copy leaves the running one's files alone
    m_Settings.Stored.Save(*m_store);
    m_Settings.Prefs.Save(*m_store);
    m_Settings.Security.Save(*m_store);
}

void AppController::SaveAll(const QStringList &addresses)
{
    if (m_Run.AlreadyRunning)
        return;
    SaveSettings();
    if (!m_Run.AddressFile.isEmpty())
        WriteAddressList(m_Run.AddressFile, addresses);
}

bool AppController::AddLogMessage(const QByteArray &message)
{
    m_errorString.clear();
    if (m_Settings.Stored.LogPath.isEmpty())
        return true;
    MessageArchive archive(m_Settings.Stored.LogPath);
    const bool saved = archive.Save(message, m_Run.SavedCount);
    if (m_Server)
        m_Server->AddLog(archive.LogLine());
    m_errorString = archive.errorString();
    return saved;
}

void AppController::Quit(const QStringList &addresses)
{
    if (m_Run.AlreadyRunning)
        return;
    SaveAll(addresses);
    // Released later: this may run inside a handler of an endpoint.
    if (m_Server) {
        m_Server->StopServer();
        m_Server->deleteLater();
        m_Server = nullptr;
    }
    if (m_msg) {
        m_msg->deleteLater();
        m_msg = nullptr;
    }
}
