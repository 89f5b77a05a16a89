#pragma once

#include <QString>

// A destination as a person types it: "host", "host:port", "[IPv6]:port", "[IPv6]" or a bare
// IPv6 address ("fe80::1%eth0" with its scope). Without a port the default applies.
class TypedAddress
{
public:
    bool Parse(const QString &text, int defaultPort);
    QString errorString() const { return m_error; }

    QString Host() const { return m_host; }
    int Port() const { return m_port; }
    bool HasPort() const { return m_hasPort; }
    // True when the host is a numeric address, not a name to look up.
    bool IsNumeric() const;

private:
    bool Fail(const QString &why);

    QString m_host;
    int m_port = 0;
    bool m_hasPort = false;
    QString m_error;
};
