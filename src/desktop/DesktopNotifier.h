#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QDBusPendingCallWatcher;

// A client of the desktop's notification service on the session bus. Each notification
// carries a payload that comes back with the action the user picks on it.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    static inline const QString Service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString ObjectPath = QStringLiteral("/org/freedesktop/Notifications");
    // How long a silent service is waited for before the fallback is used.
    static constexpr int ReplyTimeoutMilliseconds = 3000;
    // Notifications whose actions are still answered; a service that never reports them
    // closed must not make the list grow for as long as the program runs.
    static constexpr qsizetype KeptNotifications = 64;

    explicit DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr);

    // body: plain text. actions: pairs of key and caption. Unavailable follows when no service takes it.
    void Notify(const QString &summary, const QString &body, const QStringList &actions, const QByteArray &payload);

signals:
    void ActionInvoked(const QString &key, const QByteArray &payload);
    void Unavailable(const QString &summary, const QString &body);

private slots:
    // Slots by name: QtDBus connects bus signals only that way.
    void OnActionInvoked(uint id, const QString &key);
    void OnClosed(uint id, uint reason);

private:
    void OnReply(QDBusPendingCallWatcher *watcher, const QString &summary, const QString &body,
                 const QByteArray &payload);

    QDBusConnection m_bus;
    QHash<uint, QByteArray> m_payloads;
};
