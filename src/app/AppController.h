#pragma once

#include "core/Settings.h"

#include <QObject>
#include <QString>
#include <QStringList>

class CZaridoDovoClient;
class CZaridoDovoServer;
class LogView;
class PasswordKeyring;
class SingleInstance;

// The program's life apart from its window: the one-copy guard, the settings record and the
// address list on disk, the two endpoints, which mode the receiver runs in, and quitting.
class AppController : public QObject
{
    Q_OBJECT

public:
    // Built at start; never stored.
    struct RunState
    {
        QString AppVersion; // "v0.1.49"
        bool AlreadyRunning = false;
        QString AppFolder;   // ends with the platform's separator
        QString AddressFile; // AppFolder + "tdsettings.ini"
        int SavedCount = 0;  // received messages saved as files this run
    };

    // programFolder: where a portable copy keeps its address list; tickMilliseconds: the
    // receiver's idle tick, shortened only by tests; keyringService: the keyring entry's name.
    AppController(const QString &programFolder, int tickMilliseconds, const QString &keyringService,
                  QObject *parent = nullptr);
    ~AppController() override;

    // False when another copy runs: nothing more may be done then but asking it to show.
    bool Acquire();
    SingleInstance &Instance();

    // Creates the endpoints with their logs on the view, reads the settings and returns the
    // remembered addresses; a remembered password is asked of the keyring. The view must
    // outlive this object.
    QStringList Load(LogView *logView);

    Settings &AppSettings() { return m_Settings; }
    // Tells of each stored value that changed as the settings are written.
    SettingsStore &Store() const { return *m_store; }
    const RunState &Run() const { return m_Run; }
    CZaridoDovoServer *Server() const { return m_Server; }
    CZaridoDovoClient *Client() const { return m_msg; }

    // Starts the receiver with the settings as they are now; ServerStarted reports the outcome.
    // While the keyring is being read, the start waits for its answer.
    void StartServer();
    void RestartServer();
    // After OK in the settings window: a restart when any value the receiver runs with changed;
    // the settings are written at once and the password kept in the keyring or taken out.
    void ApplySettings();

    // Where the address list lives: the program's folder for a portable copy (writable and not
    // where installed programs live), otherwise the per-user data folder, created when missing.
    // Ends with the platform's separator.
    static QString AppFolderFor(const QString &programFolder, const QString &dataFolder);

    // Saves a received message when a save folder is set; false, with errorString(), when that failed.
    bool AddLogMessage(const QByteArray &message);
    QString errorString() const { return m_errorString; }

    // Writes the settings and the addresses, as the session's end asks; a refused copy writes nothing.
    void SaveAll(const QStringList &addresses);
    // Writes everything and ends both endpoints. Each step runs whatever the one before managed.
    void Quit(const QStringList &addresses);

signals:
    // where: "address:port"; captionSuffix: the mode, " [secure]" etc.
    void ServerStarted(bool started, const QString &where, const QString &captionSuffix);
    // Secure-only is chosen but no password is at hand: plain text is refused until one is given.
    void PasswordNeeded();
    // The keyring could not give or keep the password; the program goes on without it.
    void KeyringFailed(const QString &reason);

private:
    void BuildPaths(const QString &programFolder, const QString &dataFolder);
    void SaveSettings() const;
    void OnPasswordRead(bool ok, const QString &password, const QString &error);
    void OnPasswordWritten(bool ok, const QString &error);

    QString m_programFolder;
    int m_tickMilliseconds;
    Settings m_Settings;
    SettingsStore *m_store;
    RunState m_Run;
    ServerChoice m_running; // what the receiver was last started with
    SingleInstance *m_instance;
    PasswordKeyring *m_keyring;
    bool m_readingKeyring = false;
    bool m_startWanted = false; // asked for while the keyring was being read
    bool m_keyringMayHold = false;
    LogView *m_logView = nullptr;
    QString m_errorString;
    CZaridoDovoServer *m_Server = nullptr;
    CZaridoDovoClient *m_msg = nullptr;
};
