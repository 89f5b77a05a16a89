#pragma once

#include "protocol/CZaridoDovoClient.h"

#include <QHostAddress>
#include <QLocale>
#include <QSettings>
#include <QString>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

// What the window tests share: the program's settings store, a free port, a sender, and a
// temporary home (settings, data and lock files) for the whole run with counts and times in
// the United States' notation.
namespace WindowTestHome {

inline const QString Loopback = QStringLiteral("127.0.0.1");

inline QSettings Store()
{
    return QSettings(QStringLiteral("Textdrop"), QStringLiteral("Textdrop"));
}

// Free on every address, as a window listening on all of them needs it.
inline int FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, 0) || probe.listen(QHostAddress::AnyIPv4, 0) ? probe.serverPort() : 0;
}

// The next window built listens on the loopback address, on a free port by default.
inline void ListenOnLoopback(int port = 0)
{
    Store().setValue(QStringLiteral("Settings/ServerIP"), Loopback);
    Store().setValue(QStringLiteral("Settings/ServerPort"), QString::number(port ? port : FreePort()));
}

// Sends bytes with the product's client: "OK", "refused" (a reply word other than OK) or "error".
inline QString Send(int port, const QByteArray &bytes, const QByteArray &password = {})
{
    CZaridoDovoClient sender;
    QSignalSpy sent(&sender, &CZaridoDovoClient::MessageSent);
    QSignalSpy refused(&sender, &CZaridoDovoClient::MessageError);
    QSignalSpy failed(&sender, &CZaridoDovoClient::Error);
    sender.SendMessage(Loopback, port, bytes, password);
    if (!QTest::qWaitFor([&] { return sent.count() + refused.count() + failed.count() > 0; }))
        return QStringLiteral("<no outcome>");
    return sent.count() ? QStringLiteral("OK") : refused.count() ? QStringLiteral("refused") : QStringLiteral("error");
}

// Call from the test class's initMain, before the application exists.
inline void Enter()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    static QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, home.path().toUtf8());
}

} // namespace WindowTestHome
