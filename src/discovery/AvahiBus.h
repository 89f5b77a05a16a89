#pragma once

#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QString>

// Names and numbers of the Avahi daemon's D-Bus interface that discovery uses.
namespace Avahi {

inline const QString Service = QStringLiteral("org.freedesktop.Avahi");
inline const QString ServiceType = QStringLiteral("_textdrop._tcp");
inline constexpr int InterfaceAny = -1;
inline constexpr int ProtocolAny = -1;
inline constexpr int ProtocolInet6 = 1;
// Entry group states.
inline constexpr int Established = 2;
inline constexpr int Collision = 3;
inline constexpr int Failure = 4;

// Registers the D-Bus types the proxies use; safe to call more than once.
void RegisterTypes();

// Why a call to the daemon failed, in words for the settings window or the log.
QString Explain(const QDBusError &error);

// Runs `done(call)` when the call's reply arrives, unless `context` is gone by then.
template <typename Done>
void OnReply(const QDBusPendingCall &call, QObject *context, Done done)
{
    auto *watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, done] {
        watcher->deleteLater();
        done(*watcher);
    });
}

} // namespace Avahi
