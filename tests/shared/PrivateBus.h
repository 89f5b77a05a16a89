#pragma once

#include <QProcess>
#include <QString>

// A session bus of the test's own (Debian's dbus package), so that no desktop's service sees
// the test; stopped with it. `address` stays empty when no daemon could be started.
struct PrivateBus
{
    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        while (!daemon.canReadLine() && daemon.waitForReadyRead(5000)) {
        }
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished(5000);
    }

    QProcess daemon;
    QString address;
};
