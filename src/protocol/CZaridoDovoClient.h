#pragma once

#include "protocol/FrameReader.h"
#include "support/CLog.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <string>

class QTcpSocket;

// The sending endpoint: for each SendMessage it connects, sends one frame, reads the reply
// frame and reports the outcome with its signals. A new SendMessage drops a send in progress
// without any signal for it.
class CZaridoDovoClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int ConnectTimeoutMilliseconds = 15000;

    explicit CZaridoDovoClient(QObject *parent = nullptr);
    ~CZaridoDovoClient() override;

    CLog &Log() { return m_Log; }
    void AddLog(const QString &msg);

    // Enciphered when password is not empty. The outcome comes as signals and log lines.
    void SendMessage(const QString &ipAddress, int port, const QByteArray &message, const QByteArray &password = {});

    // Only tests shorten it.
    void SetConnectTimeout(int milliseconds) { m_connectTimeout = milliseconds; }

signals:
    void Error(int number, const QString &description);
    void MessageSent(int ticks);                      // ms from SendMessage to the "OK" reply
    void MessageError(const QByteArray &description); // reply text, "Invalid Message Received", or partial reply
    void Disconnected(const QString &remoteIP);

private:
    void SendPending();
    void CheckReply(FrameReader::Status status);
    void EvaluateReply(const QByteArray &reply);
    void RejectReply(const QString &logText);
    // Forgets the socket without hearing anything more from it.
    void DropSocket();
    QString Destination() const;

    void onConnect();
    void onDataArrival();
    void onClose();
    void onError();
    void onConnectTimeout();

    QString m_IP_Address;
    int m_Port = 0;
    std::string m_frame;
    QByteArray m_password;
    QElapsedTimer m_StartTicks;
    FrameReader m_reader;
    qint64 m_replyBytes = 0; // bytes of the reply frame received and not yet judged
    CLog m_Log;
    QPointer<QTcpSocket> m_socket;
    QTimer m_connectTimer;
    int m_connectTimeout = ConnectTimeoutMilliseconds;
    // Changes with every send, so code after an emit knows whether a handler started another.
    quint64 m_epoch = 0;
};
