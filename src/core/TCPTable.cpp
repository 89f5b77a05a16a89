#include "core/TCPTable.h"

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QtEndian>

namespace {

const QString Loopback = QStringLiteral("127.0.0.1");
const QString Wildcard = QStringLiteral("0.0.0.0");

void AddAddress(QStringList &list, const QString &address)
{
    if (address != Loopback && address != Wildcard && !list.contains(address))
        list.append(address);
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The local address field of one row ("   0: 0100007F:0277 ..."): eight hex digits, a colon, the port.
bool LocalAddressOf(QByteArrayView line, std::uint32_t &value)
{
    const QList<QByteArray> fields = line.toByteArray().simplified().split(' ');
    if (fields.size() < 2 || !fields[0].endsWith(':'))
        return false;
    const QByteArray &local = fields[1];
    const qsizetype colon = local.indexOf(':');
    if (colon != 8)
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        if (!IsHexDigit(local[i]))
            return false;
    }
    bool ok = false;
    value = local.left(colon).toUInt(&ok, 16);
    return ok;
}

} // namespace

QString IPToString(const std::array<std::uint8_t, 4> &address)
{
    return QStringLiteral("%1.%2.%3.%4").arg(address[0]).arg(address[1]).arg(address[2]).arg(address[3]);
}

QStringList ParseTcpTable(QByteArrayView table, QSysInfo::Endian order)
{
    QStringList list;
    qsizetype start = 0;
    while (start < table.size()) {
        qsizetype end = table.indexOf('\n', start);
        if (end < 0)
            end = table.size();
        std::uint32_t value = 0;
        if (LocalAddressOf(table.sliced(start, end - start), value)) {
            // The kernel printed the address's four network-order bytes read as one number.
            if (order == QSysInfo::BigEndian)
                value = qbswap(value);
            const std::array<std::uint8_t, 4> bytes = {
                std::uint8_t(value & 0xFF), std::uint8_t((value >> 8) & 0xFF),
                std::uint8_t((value >> 16) & 0xFF), std::uint8_t(value >> 24)};
            AddAddress(list, IPToString(bytes));
        }
        start = end + 1;
    }
    return list;
}

QStringList InterfaceAddresses()
{
    QStringList list;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback())
                AddAddress(list, ip.toString());
        }
    }
    return list;
}

LocalAddresses FillIPList(const QString &tablePath)
{
    LocalAddresses result;
    QFile file(tablePath);
    if (!file.exists()) {
        result.TableSupported = false;
    } else if (file.open(QIODevice::ReadOnly)) {
        // A /proc file reports size 0: readAll reads on to the end all the same.
        result.IPList = ParseTcpTable(file.readAll());
    }
    const QStringList interfaceAddresses = InterfaceAddresses();
    for (const QString &address : interfaceAddresses)
        AddAddress(result.IPList, address);
    return result;
}
