#include "app/Settings.h"

#include "TextdropVersion.h"
#include "support/FolderPath.h"

#include <QDir>
#include <QFileInfo>
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

void Settings::Load()
{
    QSettings store = Store();
    store.beginGroup(Group);
    ServerIP = store.value(QStringLiteral("ServerIP"), QString()).toString();
    ServerPort = WholeNumber(store.value(QStringLiteral("ServerPort")), DefaultPort);
    LogPath = store.value(QStringLiteral("LogPath"), QString()).toString();
    ServerTimeout = WholeNumber(store.value(QStringLiteral("ServerTimeout")), DefaultTimeout);
}

void Settings::Save() const
{
    QSettings store = Store();
    store.beginGroup(Group);
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
    AppFolder = FolderPath(AppFolder);
    AddressFile = AppFolder + QStringLiteral("tdsettings.ini");
}
