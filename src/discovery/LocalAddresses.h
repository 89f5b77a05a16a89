#pragma once

#include <QString>
#include <QStringList>

// Interfaces of containers and virtual machines: their addresses mean nothing to other computers.
bool IsVirtualInterface(const QString &name);

// How another computer may reach this one: the addresses of the interfaces that are up, not
// loopback and not virtual, IPv4 first; IPv6 link-local ones carry their scope ("fe80::1%eth0").
QStringList LocalAddresses();

// An address as written after a host, with a port: "192.168.1.20:30666", "[fe80::1%eth0]:30666".
QString WithPort(const QString &address, int port);

// The name this computer is announced under: the one chosen in the settings, else the host name.
QString ComputerName();
void SetComputerName(const QString &name); // empty: back to the host name
