#include "core/Settings.h"

#include "TextdropVersion.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

// The program's values: organisation and application both the program's title.
QSettings Store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral(TEXTDROP_TITLE),
                     QStringLiteral(TEXTDROP_TITLE));
}

const QString Group = QStringLiteral("Settings");

int WholeNumber(const QVariant &value, int fallback)
{
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : fallback;
}

} // namespace

void StoredSettings::Load()
{
    QSettings store = Store();
    store.beginGroup(Group);
    ServerIP = store.value(QStringLiteral("ServerIP"), QString()).toString();
    ServerPort = WholeNumber(store.value(QStringLiteral("ServerPort")), DefaultPort);
    LogPath = store.value(QStringLiteral("LogPath"), QString()).toString();
    ServerTimeout = WholeNumber(store.value(QStringLiteral("ServerTimeout")), DefaultTimeout);
    Cipher = store.value(QStringLiteral("Cipher")).toString() == QLatin1String("legacy") ? ZaridoDovo::Cipher::Legacy
                                                                                         : ZaridoDovo::Cipher::Sealed;
}

void StoredSettings::Save() const
{
    QSettings store = Store();
    store.beginGroup(Group);
    store.setValue(QStringLiteral("ServerIP"), ServerIP);
    store.setValue(QStringLiteral("ServerPort"), QString::number(ServerPort));
    store.setValue(QStringLiteral("ServerTimeout"), QString::number(ServerTimeout));
    store.setValue(QStringLiteral("LogPath"), LogPath);
    store.setValue(QStringLiteral("Cipher"),
                   Cipher == ZaridoDovo::Cipher::Legacy ? QStringLiteral("legacy") : QStringLiteral("sealed"));
}

void Preferences::Load()
{
    QSettings store = Store();
    store.beginGroup(QStringLiteral("Preferences"));
    const Preferences defaults;
    KeepHistory = store.value(QStringLiteral("KeepHistory"), defaults.KeepHistory).toBool();
    KeepEnciphered = store.value(QStringLiteral("KeepEnciphered"), defaults.KeepEnciphered).toBool();
    // Limits below one would empty the history at every write.
    HistoryCount = qMax(1, WholeNumber(store.value(QStringLiteral("HistoryCount")), defaults.HistoryCount));
    HistoryDays = qMax(1, WholeNumber(store.value(QStringLiteral("HistoryDays")), defaults.HistoryDays));
    HistoryMegabytes =
        qMax(1, WholeNumber(store.value(QStringLiteral("HistoryMegabytes")), defaults.HistoryMegabytes));
    Notify = store.value(QStringLiteral("Notify"), defaults.Notify).toBool();
    CopyReceived = store.value(QStringLiteral("CopyReceived"), defaults.CopyReceived).toBool();
    PhonePort = WholeNumber(store.value(QStringLiteral("PhonePort")), defaults.PhonePort);
    if (PhonePort < 1 || PhonePort > 65535)
        PhonePort = defaults.PhonePort;
}

void Preferences::Save() const
{
    QSettings store = Store();
    store.beginGroup(QStringLiteral("Preferences"));
    store.setValue(QStringLiteral("KeepHistory"), KeepHistory);
    store.setValue(QStringLiteral("KeepEnciphered"), KeepEnciphered);
    store.setValue(QStringLiteral("HistoryCount"), HistoryCount);
    store.setValue(QStringLiteral("HistoryDays"), HistoryDays);
    store.setValue(QStringLiteral("HistoryMegabytes"), HistoryMegabytes);
    store.setValue(QStringLiteral("Notify"), Notify);
    store.setValue(QStringLiteral("CopyReceived"), CopyReceived);
    store.setValue(QStringLiteral("PhonePort"), PhonePort);
}

void SecurityChoices::Load()
{
    QSettings store = Store();
    store.beginGroup(QStringLiteral("Security"));
    AcceptSecureOnly = store.value(QStringLiteral("AcceptSecureOnly"), false).toBool();
    RememberPassword = store.value(QStringLiteral("RememberPassword"), false).toBool();
    EncryptData = AcceptSecureOnly;
}

void SecurityChoices::Save() const
{
    QSettings store = Store();
    store.beginGroup(QStringLiteral("Security"));
    store.setValue(QStringLiteral("AcceptSecureOnly"), AcceptSecureOnly);
    store.setValue(QStringLiteral("RememberPassword"), RememberPassword);
}

ServerChoice ServerChoice::From(const Settings &settings)
{
    // A password makes the receiver secure; secure-only refuses what is not enciphered with it.
    return {settings.Stored.ServerIP, settings.Stored.ServerPort, settings.Stored.ServerTimeout,
            settings.Security.CryptPassword.toUtf8(), settings.Security.AcceptSecureOnly, settings.Stored.Cipher};
}

QString ServerChoice::CaptionSuffix() const
{
    const QString cipherName = cipher == ZaridoDovo::Cipher::Legacy ? QCoreApplication::translate("ServerChoice", "legacy")
                                                                    : QCoreApplication::translate("ServerChoice", "sealed");
    if (secureOnly)
        return QCoreApplication::translate("ServerChoice", " [secure only, %1]").arg(cipherName);
    return password.isEmpty() ? QString() : QCoreApplication::translate("ServerChoice", " [secure, %1]").arg(cipherName);
}
