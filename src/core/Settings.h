#pragma once

#include "core/HistoryStore.h"
#include "crypto/Cipher.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <limits>
#include <memory>

class SecretBytes;

// Every value kept in the user's settings store between runs.
enum class SettingKey {
    ServerIP, ServerPort, ServerTimeout, LogPath, Cipher,
    KeepHistory, KeepEnciphered, HistoryCount, HistoryDays, HistoryMegabytes, Notify, CopyReceived, PhonePort,
    AcceptSecureOnly, RememberPassword, WindowGeometry,
    AskNewSenders, BlockedSenders
};

// Where a key is stored, what it holds and what it reads as when absent or unusable.
struct SettingDirective
{
    SettingKey key;
    QString group;
    QString name;
    QMetaType::Type type; // Bool, Int or QString
    QVariant defaultValue;
    // A stored number outside these reads as outOfRange, or the default when that is not given.
    int minimum = std::numeric_limits<int>::min();
    int maximum = std::numeric_limits<int>::max();
    QVariant outOfRange;

    QString Path() const { return group + QLatin1Char('/') + name; }
};

// Every key, in its enum's order, which is the order they are written in.
const QList<SettingDirective> &SettingTable();
const SettingDirective &Directive(SettingKey key);

// The user's settings store, one key at a time, telling of each value that changes.
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The stored value in the key's type: the default when absent, and for a number also when
    // it does not read as one.
    QVariant Value(SettingKey key) const;
    // Writes the value; Changed follows when it differs from what was stored.
    void SetValue(SettingKey key, const QVariant &value);

signals:
    void Changed(SettingKey key);
};

// The receiver's values, with the defaults both the window program and the command-line tool
// take. The members' defaults are the key table's defaults.
struct StoredSettings
{
    static constexpr int DefaultPort = 30666;
    // Counted in the receiver's 10-second idle ticks: 2 ends a silent connection after 30 s.
    static constexpr int DefaultTimeout = 2;

    QString ServerIP; // empty: every local address
    int ServerPort = DefaultPort;
    int ServerTimeout = DefaultTimeout;
    QString LogPath; // folder for received messages, with its closing separator; empty: not saved
    // What a password is used with; stored, though the password never is.
    ZaridoDovo::Cipher Cipher = ZaridoDovo::Cipher::Sealed;

    // Any cipher other than "legacy" reads as sealed.
    void Load(const SettingsStore &store);
    void Save(SettingsStore &store) const;
};

// The choices about what the program keeps and how it tells of arrivals, in a group of their
// own so the server's group keeps exactly its five keys. The history's limits default to the
// history store's own.
struct Preferences
{
    static constexpr int DefaultHistoryCount = HistoryStore::Limits::DefaultCount;
    static constexpr int DefaultHistoryDays = HistoryStore::Limits::DefaultDays;
    static constexpr int DefaultHistoryMegabytes = int(HistoryStore::Limits::DefaultBytes / (1024 * 1024));
    static constexpr int DefaultPhonePort = 30667;

    bool KeepHistory = true;
    // Enciphered messages on disk in the clear would defeat the cipher: only when asked for.
    bool KeepEnciphered = false;
    int HistoryCount = DefaultHistoryCount;
    int HistoryDays = DefaultHistoryDays;
    int HistoryMegabytes = DefaultHistoryMegabytes; // the messages' bytes together, in MiB
    bool Notify = true;
    bool CopyReceived = false;
    int PhonePort = DefaultPhonePort; // the page phones pair with; never the message port
    // Off, every text goes on the board; on, one from an address not known is kept aside.
    bool AskNewSenders = false;
    QStringList BlockedSenders; // their messages are refused with "BAD"

    void Load(const SettingsStore &store);
    void Save(SettingsStore &store) const;
};

// The security choices. The password is never written to the settings store: it lives for
// this run, or in the desktop's keyring when RememberPassword is chosen. Secure-only and
// RememberPassword are stored, so a copy started at log-in never takes plain text unasked.
struct SecurityChoices
{
    // In locked memory, shared with the endpoints rather than copied. Set: sends are
    // enciphered and the receiver is secure.
    std::shared_ptr<const SecretBytes> CryptPassword;
    bool EncryptData = false;
    bool AcceptSecureOnly = false;
    bool RememberPassword = false;

    bool HasPassword() const;
    // Takes typed text into locked memory (empty: no password) and wipes the text given, unless
    // another copy of it still shares its memory.
    void SetPassword(QString typed);
    // For the field that shows it and for the keyring, which take text; empty when none.
    QString PasswordText() const;

    // Reads the two stored choices; a stored secure-only turns encryption on, password or not.
    void Load(const SettingsStore &store);
    void Save(SettingsStore &store) const;
};

// This computer on the network: the name it is announced under (edited; the discovery code
// keeps it) and, only to be shown, what discovery is doing and where others reach it.
struct NetworkView
{
    QString ComputerName;
    QString State;
    QStringList Addresses;
};

// What the settings window edits.
struct Settings
{
    StoredSettings Stored;
    SecurityChoices Security;
    Preferences Prefs;
    NetworkView Network;
};

// How the receiver is started from the settings; two starts with equal values behave alike.
struct ServerChoice
{
    QString ip;
    int port = 0;
    int timeout = 0;
    std::shared_ptr<const SecretBytes> password; // none or empty: plain
    bool secureOnly = false;
    ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Sealed;

    static ServerChoice From(const Settings &settings);
    // " [secure, sealed]", " [secure only, legacy]" and so on, or nothing, for the caption.
    QString CaptionSuffix() const;
    bool operator==(const ServerChoice &other) const;
};
