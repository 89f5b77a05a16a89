#include "discovery/TypedAddress.h"

#include <QHostAddress>

namespace {

bool ReadPort(QStringView text, int &port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    port = text.toInt();
    return port >= 1 && port <= 65535;
}

bool IsIPv6(const QString &text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

} // namespace

bool TypedAddress::Parse(const QString &text, int defaultPort)
{
    const QString typed = text.trimmed();
    m_host.clear();
    m_port = defaultPort;
    m_hasPort = false;
    m_error.clear();
    if (typed.isEmpty())
        return Fail(QStringLiteral("no address"));

    QString host = typed;
    QStringView port;
    if (typed.startsWith(u'[')) {
        const qsizetype close = typed.indexOf(u']');
        if (close < 0)
            return Fail(QStringLiteral("'[' without ']' in %1").arg(typed));
        host = typed.mid(1, close - 1);
        if (!IsIPv6(host))
            return Fail(QStringLiteral("%1 is not an IPv6 address").arg(host));
        const QStringView rest = QStringView(typed).mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return Fail(QStringLiteral("after ']' only ':port' may follow"));
        port = rest.mid(1);
        m_hasPort = !rest.isEmpty();
    } else if (typed.count(u':') == 1) {
        const qsizetype colon = typed.indexOf(u':');
        host = typed.left(colon);
        port = QStringView(typed).mid(colon + 1);
        m_hasPort = true;
    } else if (typed.contains(u':') && !IsIPv6(typed)) {
        return Fail(QStringLiteral("%1 is not an IPv6 address (write [address]:port for a port)").arg(typed));
    }
    if (host.isEmpty())
        return Fail(QStringLiteral("no host before the port"));
    if (m_hasPort && !ReadPort(port, m_port))
        return Fail(QStringLiteral("the port must be a number from 1 to 65535"));
    m_host = host;
    return true;
}

bool TypedAddress::IsNumeric() const
{
    return !QHostAddress(m_host).isNull();
}

bool TypedAddress::Fail(const QString &why)
{
    m_port = 0;
    m_hasPort = false;
    m_error = why;
    return false;
}
