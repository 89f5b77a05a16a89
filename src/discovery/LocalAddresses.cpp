#include "discovery/LocalAddresses.h"

#include <QNetworkInterface>
#include <QSettings>
#include <QSysInfo>

bool IsVirtualInterface(const QString &name)
{
    static const char *const prefixes[] = {"docker", "virbr", "veth", "vboxnet", "vmnet"};
    for (const char *prefix : prefixes) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

QStringList LocalAddresses()
{
    QStringList inet4;
    QStringList inet6;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack)
            || IsVirtualInterface(interface.name()))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol) {
                inet4 += ip.toString();
            } else if (ip.protocol() == QAbstractSocket::IPv6Protocol) {
                if (ip.isLinkLocal())
                    ip.setScopeId(interface.name());
                inet6 += ip.toString();
            }
        }
    }
    return inet4 + inet6;
}

QString WithPort(const QString &address, int port)
{
    const QString host = address.contains(u':') ? u'[' + address + u']' : address;
    return host + u':' + QString::number(port);
}

namespace {
const QString NameKey = QStringLiteral("Discovery/ComputerName");
}

QString ComputerName()
{
    const QString chosen = QSettings().value(NameKey).toString().trimmed();
    return chosen.isEmpty() ? QSysInfo::machineHostName() : chosen;
}

void SetComputerName(const QString &name)
{
    QSettings settings;
    if (name.trimmed().isEmpty() || name.trimmed() == QSysInfo::machineHostName())
        settings.remove(NameKey);
    else
        settings.setValue(NameKey, name.trimmed());
}
