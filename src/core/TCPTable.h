#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QSysInfo>

#include <array>
#include <cstdint>

// The machine's own IPv4 addresses, for the address picker. The kernel's table of TCP
// endpoints names every address a socket is bound to or connected from; the interfaces add
// the addresses that have no socket of their own yet.

inline constexpr auto SystemTcpTable = "/proc/net/tcp";

// Dotted decimal text of four address bytes in network order: "192.168.0.7".
QString IPToString(const std::array<std::uint8_t, 4> &address);

// The distinct local addresses of a /proc/net/tcp text, in the order of their first row,
// without "127.0.0.1" and "0.0.0.0". The kernel prints each address as a 32-bit number in
// its own byte order; order says which that was. Lines that are not table rows (the heading,
// a row cut short) are skipped.
QStringList ParseTcpTable(QByteArrayView table, QSysInfo::Endian order = QSysInfo::ByteOrder);

// The IPv4 addresses of the interfaces that are up and are not loopback, in interface order.
QStringList InterfaceAddresses();

struct LocalAddresses
{
    QStringList IPList;
    bool TableSupported = true; // false when the system has no TCP table to read
};

// The table's addresses, then the interfaces' addresses not already listed. A table file
// that does not exist makes TableSupported false; one that cannot be read adds nothing.
LocalAddresses FillIPList(const QString &tablePath = QString::fromLatin1(SystemTcpTable));
