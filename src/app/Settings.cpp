#include "app/Settings.h"

#include <QSettings>

namespace {

int WholeNumber(const QVariant &value, int fallback)
{
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : fallback;
}

} // namespace

void Settings::Load()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Textdrop"), QStringLiteral("Textdrop"));
    store.beginGroup(QStringLiteral("Settings"));
    ServerIP = store.value(QStringLiteral("ServerIP"), QString()).toString();
    ServerPort = WholeNumber(store.value(QStringLiteral("ServerPort")), DefaultPort);
    LogPath = store.value(QStringLiteral("LogPath"), QString()).toString();
    ServerTimeout = WholeNumber(store.value(QStringLiteral("ServerTimeout")), DefaultTimeout);
}

void Settings::Save() const
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Textdrop"), QStringLiteral("Textdrop"));
    store.beginGroup(QStringLiteral("Settings"));
    store.setValue(QStringLiteral("ServerIP"), ServerIP);
    store.setValue(QStringLiteral("ServerPort"), QString::number(ServerPort));
    store.setValue(QStringLiteral("ServerTimeout"), QString::number(ServerTimeout));
    store.setValue(QStringLiteral("LogPath"), LogPath);
}
