#include "app/Settings.h"

#include <QDir>
#include <QFileInfo>
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

void Settings::BuildPaths(const QString &programFolder, const QString &dataFolder)
{
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable()) {
        AppFolder = programFolder;
    } else {
        QDir().mkpath(dataFolder);
        AppFolder = dataFolder;
    }
    AppFolder = QDir::toNativeSeparators(AppFolder);
    if (!AppFolder.endsWith(QDir::separator()))
        AppFolder += QDir::separator();
    AddressFile = AppFolder + QStringLiteral("tdsettings.ini");
}
