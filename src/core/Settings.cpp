#include "core/Settings.h"

#include "TextdropVersion.h"
#include "crypto/SecretBytes.h"
#include "crypto/Sodium.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

// The program's values: organisation and application both the program's title.
QSettings Store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral(TEXTDROP_TITLE),
                     QStringLiteral(TEXTDROP_TITLE));
}

QString CipherName(ZaridoDovo::Cipher cipher)
{
    return cipher == ZaridoDovo::Cipher::Legacy ? QStringLiteral("legacy") : QStringLiteral("sealed");
}

constexpr int Unbounded = std::numeric_limits<int>::max();

QList<SettingDirective> BuildTable()
{
    const StoredSettings stored;
    const Preferences prefs;
    const SecurityChoices security;
    const QString server = QStringLiteral("Settings");
    const QString kept = QStringLiteral("Preferences");
    const QString secure = QStringLiteral("Security");
    using K = SettingKey;
    constexpr auto Int = QMetaType::Int, Bool = QMetaType::Bool, Text = QMetaType::QString;
    QList<SettingDirective> table; // the password is never among them

    const auto add = [&table](SettingKey key, const QString &group, const char *name, QMetaType::Type type,
                              const QVariant &fallback, int minimum = std::numeric_limits<int>::min(),
                              int maximum = Unbounded, const QVariant &outOfRange = {}) {
        table.append({key, group, QLatin1String(name), type, fallback, minimum, maximum, outOfRange});
    };
    add(K::ServerIP, server, "ServerIP", Text, stored.ServerIP);
    add(K::ServerPort, server, "ServerPort", Int, stored.ServerPort);
    add(K::ServerTimeout, server, "ServerTimeout", Int, stored.ServerTimeout);
    add(K::LogPath, server, "LogPath", Text, stored.LogPath);
    add(K::Cipher, server, "Cipher", Text, CipherName(stored.Cipher));
    add(K::KeepHistory, kept, "KeepHistory", Bool, prefs.KeepHistory);
    add(K::KeepEnciphered, kept, "KeepEnciphered", Bool, prefs.KeepEnciphered);
    // Limits below one would empty the history at every write.
    add(K::HistoryCount, kept, "HistoryCount", Int, prefs.HistoryCount, 1, Unbounded, 1);
    add(K::HistoryDays, kept, "HistoryDays", Int, prefs.HistoryDays, 1, Unbounded, 1);
    add(K::HistoryMegabytes, kept, "HistoryMegabytes", Int, prefs.HistoryMegabytes, 1, Unbounded, 1);
    add(K::Notify, kept, "Notify", Bool, prefs.Notify);
    add(K::CopyReceived, kept, "CopyReceived", Bool, prefs.CopyReceived);
    add(K::PhonePort, kept, "PhonePort", Int, prefs.PhonePort, 1, 65535);
    add(K::AcceptSecureOnly, secure, "AcceptSecureOnly", Bool, security.AcceptSecureOnly);
    add(K::RememberPassword, secure, "RememberPassword", Bool, security.RememberPassword);
    // The main window's size and place, as the toolkit saves them, in base64; empty: centred.
    add(K::WindowGeometry, QStringLiteral("Window"), "Geometry", Text, QString());
    add(K::AskNewSenders, kept, "AskNewSenders", Bool, prefs.AskNewSenders);
    // Addresses never hold a blank: one line of them, blank-separated.
    add(K::BlockedSenders, kept, "BlockedSenders", Text, QString());
    return table;
}

} // namespace

const QList<SettingDirective> &SettingTable()
{
    static const QList<SettingDirective> table = BuildTable();
    return table;
}

const SettingDirective &Directive(SettingKey key)
{
    const SettingDirective &directive = SettingTable().at(qsizetype(key));
    Q_ASSERT(directive.key == key);
    return directive;
}

QVariant SettingsStore::Value(SettingKey key) const
{
    const SettingDirective &directive = Directive(key);
    const QVariant stored = Store().value(directive.Path());
    if (!stored.isValid())
        return directive.defaultValue;
    switch (directive.type) {
    case QMetaType::Int: {
        bool ok = false;
        const int number = stored.toString().trimmed().toInt(&ok);
        if (!ok)
            return directive.defaultValue;
        if (number < directive.minimum || number > directive.maximum)
            return directive.outOfRange.isValid() ? directive.outOfRange : directive.defaultValue;
        return number;
    }
    case QMetaType::Bool:
        return stored.toBool();
    default:
        return stored.toString();
    }
}

void SettingsStore::SetValue(SettingKey key, const QVariant &value)
{
    const SettingDirective &directive = Directive(key);
    QSettings store = Store();
    const QVariant before = store.value(directive.Path());
    // Numbers are kept as their text, as the stored files have always held them.
    const QVariant typed = directive.type == QMetaType::Bool ? QVariant(value.toBool()) : QVariant(value.toString());
    store.setValue(directive.Path(), typed);
    if (!before.isValid() || before.toString() != typed.toString())
        emit Changed(key);
}

void StoredSettings::Load(const SettingsStore &store)
{
    ServerIP = store.Value(SettingKey::ServerIP).toString();
    ServerPort = store.Value(SettingKey::ServerPort).toInt();
    ServerTimeout = store.Value(SettingKey::ServerTimeout).toInt();
    LogPath = store.Value(SettingKey::LogPath).toString();
    Cipher = store.Value(SettingKey::Cipher).toString() == CipherName(ZaridoDovo::Cipher::Legacy)
                 ? ZaridoDovo::Cipher::Legacy
                 : ZaridoDovo::Cipher::Sealed;
}

void StoredSettings::Save(SettingsStore &store) const
{
    store.SetValue(SettingKey::ServerIP, ServerIP);
    store.SetValue(SettingKey::ServerPort, ServerPort);
    store.SetValue(SettingKey::ServerTimeout, ServerTimeout);
    store.SetValue(SettingKey::LogPath, LogPath);
    store.SetValue(SettingKey::Cipher, CipherName(Cipher));
}

void Preferences::Load(const SettingsStore &store)
{
    KeepHistory = store.Value(SettingKey::KeepHistory).toBool();
    KeepEnciphered = store.Value(SettingKey::KeepEnciphered).toBool();
    HistoryCount = store.Value(SettingKey::HistoryCount).toInt();
    HistoryDays = store.Value(SettingKey::HistoryDays).toInt();
    HistoryMegabytes = store.Value(SettingKey::HistoryMegabytes).toInt();
    Notify = store.Value(SettingKey::Notify).toBool();
    CopyReceived = store.Value(SettingKey::CopyReceived).toBool();
    PhonePort = store.Value(SettingKey::PhonePort).toInt();
    AskNewSenders = store.Value(SettingKey::AskNewSenders).toBool();
    BlockedSenders = store.Value(SettingKey::BlockedSenders).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

void Preferences::Save(SettingsStore &store) const
{
    store.SetValue(SettingKey::KeepHistory, KeepHistory);
    store.SetValue(SettingKey::KeepEnciphered, KeepEnciphered);
    store.SetValue(SettingKey::HistoryCount, HistoryCount);
    store.SetValue(SettingKey::HistoryDays, HistoryDays);
    store.SetValue(SettingKey::HistoryMegabytes, HistoryMegabytes);
    store.SetValue(SettingKey::Notify, Notify);
    store.SetValue(SettingKey::CopyReceived, CopyReceived);
    store.SetValue(SettingKey::PhonePort, PhonePort);
    store.SetValue(SettingKey::AskNewSenders, AskNewSenders);
    store.SetValue(SettingKey::BlockedSenders, BlockedSenders.join(QLatin1Char(' ')));
}

void SecurityChoices::Load(const SettingsStore &store)
{
    AcceptSecureOnly = store.Value(SettingKey::AcceptSecureOnly).toBool();
    RememberPassword = store.Value(SettingKey::RememberPassword).toBool();
    EncryptData = AcceptSecureOnly;
}

void SecurityChoices::Save(SettingsStore &store) const
{
    store.SetValue(SettingKey::AcceptSecureOnly, AcceptSecureOnly);
    store.SetValue(SettingKey::RememberPassword, RememberPassword);
}

bool SecurityChoices::HasPassword() const
{
    return CryptPassword && !CryptPassword->Empty();
}

void SecurityChoices::SetPassword(QString typed)
{
    QByteArray bytes = typed.toUtf8();
    CryptPassword = bytes.isEmpty() ? nullptr
                                    : std::make_shared<const SecretBytes>(
                                          std::string_view(bytes.constData(), std::size_t(bytes.size())));
    Sodium::Wipe(bytes);
    // Writing to a shared text would only wipe a copy made for the purpose.
    if (typed.isDetached())
        Sodium::WipeMemory(typed.data(), std::size_t(typed.size()) * sizeof(QChar));
    typed.clear();
}

QString SecurityChoices::PasswordText() const
{
    if (!HasPassword())
        return {};
    const std::string_view bytes = CryptPassword->View();
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

bool ServerChoice::operator==(const ServerChoice &other) const
{
    const std::string_view mine = password ? password->View() : std::string_view();
    const std::string_view theirs = other.password ? other.password->View() : std::string_view();
    return ip == other.ip && port == other.port && timeout == other.timeout && mine.size() == theirs.size()
        && (!password || password->Equals(theirs)) && secureOnly == other.secureOnly && cipher == other.cipher;
}

ServerChoice ServerChoice::From(const Settings &settings)
{
    // A password makes the receiver secure; secure-only refuses what is not enciphered with it.
    return {settings.Stored.ServerIP, settings.Stored.ServerPort, settings.Stored.ServerTimeout,
            settings.Security.CryptPassword, settings.Security.AcceptSecureOnly, settings.Stored.Cipher};
}

QString ServerChoice::CaptionSuffix() const
{
    const QString cipherName = cipher == ZaridoDovo::Cipher::Legacy ? QCoreApplication::translate("ServerChoice", "legacy")
                                                                    : QCoreApplication::translate("ServerChoice", "sealed");
    if (secureOnly)
        return QCoreApplication::translate("ServerChoice", " [secure only, %1]").arg(cipherName);
    return !password || password->Empty() ? QString() : QCoreApplication::translate("ServerChoice", " [secure, %1]").arg(cipherName);
}
