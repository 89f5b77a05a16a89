#pragma once

#include <QHostAddress>
#include <QLocale>
#include <QSettings>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>

// What the window tests share: the program's settings store, a free port, and a
// temporary home (settings, data and lock files) for the whole run with counts and times in
// the United States' notation.
namespace WindowTestHome {

inline const QString Loopback = QStringLiteral("127.0.0.1");

inline QSettings Store()
{
    return QSettings(QStringLiteral("Textdrop"), QStringLiteral("Textdrop"));
}

// Free on every address, as a window listening on all of them needs it.
inline int FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, 0) || probe.listen(QHostAddress::AnyIPv4, 0) ? probe.serverPort() : 0;
}

// Call from the test class's initMain, before the application exists.
inline void Enter()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    static QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, home.path().toUtf8());
}

} // namespace WindowTestHome
