#pragma once

#include "cli/StderrLogView.h"
#include "protocol/CZaridoDovoServer.h"

#include <QObject>
#include <QString>

// `textdrop-cli listen`: a server whose messages go to standard output or to files.
class ListenCommand : public QObject
{
    Q_OBJECT

public:
    explicit ListenCommand(const QString &saveDir, QObject *parent = nullptr);

    bool Start(const QString &address, int port, int timeout, const QByteArray &password, bool secureOnly);

private:
    void onMessageReceived(const QByteArray &message, const QString &from);

    CZaridoDovoServer m_server;
    StderrLogView m_logView;
    QString m_saveDir;
    int m_savedCount = 0;
};
