#pragma once

#include "crypto/Cipher.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The values kept in the user's settings store between runs, with their defaults: the one
// place both the window program and the command-line tool take them from.
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

    // Reads the stored keys; absent or non-numeric values fall back to the defaults, and any
    // cipher other than "legacy" reads as sealed.
    void Load();
    // Writes ServerIP, ServerPort, ServerTimeout, LogPath, Cipher, in that order, and nothing else.
    void Save() const;
};

// The choices about what the program keeps and how it tells of arrivals, in a group of their
// own so the server's group keeps exactly its four keys.
struct Preferences
{
    static constexpr int DefaultHistoryCount = 10000;
    static constexpr int DefaultHistoryDays = 90;
    static constexpr int DefaultHistoryMegabytes = 256;
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

    void Load();
    void Save() const;
};

// The security choices. The password is never written to the settings store: it lives for
// this run, or in the desktop's keyring when RememberPassword is chosen. Secure-only and
// RememberPassword are stored, so a copy started at log-in never takes plain text unasked.
struct SecurityChoices
{
    QString CryptPassword; // not empty: sends are enciphered and the receiver is secure
    bool EncryptData = false;
    bool AcceptSecureOnly = false;
    bool RememberPassword = false;

    // Reads the two stored choices; a stored secure-only turns encryption on, password or not.
    void Load();
    void Save() const;
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
    QByteArray password; // empty: plain
    bool secureOnly = false;
    ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Sealed;

    static ServerChoice From(const Settings &settings);
    // " [secure, sealed]", " [secure only, legacy]" and so on, or nothing, for the caption.
    QString CaptionSuffix() const;
    bool operator==(const ServerChoice &) const = default;
};
