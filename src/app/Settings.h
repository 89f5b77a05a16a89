#pragma once

#include <QString>

// The application-wide settings record. The first four values persist in the user's
// settings store; the password and the two security choices live for this run only.
struct Settings
{
    static constexpr int DefaultPort = 30666;
    static constexpr int DefaultTimeout = 2;

    // Stored (group "Settings").
    QString ServerIP;
    int ServerPort = DefaultPort;
    int ServerTimeout = DefaultTimeout;
    QString LogPath; // folder for received messages; empty: do not save them

    // This run only.
    QString CryptPassword;
    int EncryptData = 0;      // 0 or 1, the settings window's check box
    int AcceptSecureOnly = 0; // 0 or 1

    // Built at start.
    QString AppVersion;  // "v0.1.49"
    bool AlreadyRunning = false;
    QString AppFolder;   // ends with the platform's separator
    QString AddressFile; // AppFolder + "tdsettings.ini"
    int SavedCount = 0;  // received messages saved as files this run

    // Reads the four stored keys; absent or non-numeric values fall back to the defaults.
    void Load();
    // Writes ServerIP, ServerPort, ServerTimeout, LogPath, in that order, and nothing else.
    void Save() const;

    // Fills AppFolder and AddressFile. AppFolder is the program's folder when it can be
    // written (a portable copy), otherwise the per-user data folder, created when missing.
    void BuildPaths(const QString &programFolder, const QString &dataFolder);
};
