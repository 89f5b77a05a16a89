#include "desktop/DesktopNotifier.h"

#include "TextdropVersion.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <algorithm>

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(Service, ObjectPath, Service, QStringLiteral("ActionInvoked"), this,
                  SLOT(OnActionInvoked(uint, QString)));
    m_bus.connect(Service, ObjectPath, Service, QStringLiteral("NotificationClosed"), this,
                  SLOT(OnClosed(uint, uint)));
}

void DesktopNotifier::Notify(const QString &summary, const QString &body, const QStringList &actions,
                             const QByteArray &payload)
{
    if (!m_bus.isConnected()) {
        emit Unavailable(summary, body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, ObjectPath, Service, QStringLiteral("Notify"));
    call << QStringLiteral(TEXTDROP_TITLE) << uint(0) << QStringLiteral("textdrop") << summary
         // Services may read the body as markup: the text is shown as it is.
         << body.toHtmlEscaped() << actions
         // The desktop shows the program's icon and name from its menu entry.
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral(TEXTDROP_ID)}} << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, ReplyTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, summary, body, payload](QDBusPendingCallWatcher *finished) { OnReply(finished, summary, body, payload); });
}

void DesktopNotifier::OnReply(QDBusPendingCallWatcher *watcher, const QString &summary, const QString &body,
                              const QByteArray &payload)
{
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
        emit Unavailable(summary, body);
        return;
    }
    m_payloads.insert(reply.value(), payload);
    if (m_payloads.size() > KeptNotifications) {
        // Services number their notifications upwards: the lowest number is the oldest.
        const auto keys = m_payloads.keys();
        m_payloads.remove(*std::min_element(keys.cbegin(), keys.cend()));
    }
}

void DesktopNotifier::OnActionInvoked(uint id, const QString &key)
{
    // Only our own notifications: the service tells every client of every action.
    const auto found = m_payloads.constFind(id);
    if (found != m_payloads.cend())
        emit ActionInvoked(key, *found);
}

void DesktopNotifier::OnClosed(uint id, uint)
{
    m_payloads.remove(id);
}
