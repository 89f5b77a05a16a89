#include "discovery/AvahiBus.h"

#include <QByteArray>
#include <QDBusError>
#include <QDBusMetaType>
#include <QList>

void Avahi::RegisterTypes()
{
    qDBusRegisterMetaType<QList<QByteArray>>();
}

QString Avahi::Explain(const QDBusError &error)
{
    if (error.type() == QDBusError::ServiceUnknown)
        return QStringLiteral("the Avahi daemon (avahi-daemon) is not running");
    if (error.type() == QDBusError::Disconnected)
        return QStringLiteral("the system's message bus (D-Bus) is not reachable");
    return QStringLiteral("Avahi refused: %1").arg(error.message().left(200));
}
