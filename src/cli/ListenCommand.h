#pragma once

#include "cli/StderrLogView.h"
#include "discovery/ServiceAnnouncer.h"
#include "protocol/CZaridoDovoServer.h"

#include <QObject>
#include <QString>

#include <cstdio>

// `textdrop-cli listen`: a server whose messages go to standard output or to files.
class ListenCommand : public QObject
{
    Q_OBJECT

public:
    struct Output
    {
        std::FILE *stream = stdout;
        bool nullTerminated = false; // each message ends with NUL instead of newline
        bool terminal = false;       // control characters are shown escaped
    };

    ListenCommand(const QString &saveDir, const Output &output, QObject *parent = nullptr);

    bool Start(const QString &address, int port, int timeout, const QByteArray &password, bool secureOnly,
               ZaridoDovo::Cipher cipher);
    // Tells the local network (through Avahi) that a receiver called name listens on port.
    void Announce(const QString &name, int port, bool sealed);

private:
    void onMessageReceived(const QByteArray &message, const QString &from);

    CZaridoDovoServer m_server;
    StderrLogView m_logView;
    ServiceAnnouncer *m_announcer = nullptr;
    QString m_saveDir;
    Output m_output;
    int m_savedCount = 0;
};
