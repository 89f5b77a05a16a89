#pragma once

#include "cli/StderrLogView.h"
#include "protocol/CZaridoDovoClient.h"

#include <QObject>

// `textdrop-cli send`: one message, one outcome, then Finished with the exit code.
class SendCommand : public QObject
{
    Q_OBJECT

public:
    SendCommand(bool verbose, int replyTimeoutMilliseconds, QObject *parent = nullptr);

    void Start(const QString &address, int port, const QByteArray &message, const QByteArray &password,
               ZaridoDovo::Cipher cipher);
    // Told with every complaint: which of several destinations it is about; whether it was
    // found on the network (no answer from one then hints at a firewall).
    void Describe(const QString &destination, bool discovered);

signals:
    void Finished(int exitCode);

private:
    void Finish(int exitCode, const QString &why);

    CZaridoDovoClient m_client;
    StderrLogView m_logView;
    bool m_done = false;
    QString m_destination;
    bool m_discovered = false;
};
