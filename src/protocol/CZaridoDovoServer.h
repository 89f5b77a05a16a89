#pragma once

#include "protocol/CZaridoDovoMessage.h"
#include "protocol/MessageJudge.h"
#include "support/CLog.h"
#include "support/CTimer.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

#include <string_view>

class QTcpSocket;

// The receiving endpoint. Listens on one port, serves one connection at a time (the listener
// is closed while a connection lasts, so further attempts are refused by the system), reads
// one frame, delivers it, answers "OK", "BAD" or "MAXSIZE" and listens again. Connections that
// stay idle for (timeout + 1) ticks are ended.
class CZaridoDovoServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTickMilliseconds = 10000;

    // tickMilliseconds is the idle timer's period; only tests change it.
    explicit CZaridoDovoServer(QObject *parent = nullptr, int tickMilliseconds = DefaultTickMilliseconds);
    ~CZaridoDovoServer() override;

    QString LocalIP() const { return m_LocalIP; }
    int LocalPort() const { return m_LocalPort; }
    bool Started() const { return m_Started; }
    CLog &Log() { return m_Log; }
    void AddLog(const QString &msg);

    // Empty ipAddress: every local address. Port 0 picks a free port, kept for every later
    // return to listening. A connection being served is dropped without events. Returns Started().
    bool StartServer(const QString &ipAddress, int port, int timeout, const QByteArray &password = {},
                     bool allowSecureOnly = false);
    // Stops listening or drops the connection. Started() keeps its value.
    void StopServer();

    const CZaridoDovoMessage &CurrentMessage() const { return m_CurrentMessage; }

signals:
    void Disconnected(const QString &remoteIP);
    void Connected(const QString &remoteIP);
    void Timeout(const QString &remoteIP);
    void MessageReceived(const QByteArray &message, const QString &from);
    void MessageError(const QString &description);

private:
    void BeginListening();
    void Act(MessageJudge::Verdict verdict);
    void FinishMessage();
    void RejectMessage(const QString &logText);
    void SocketClosed();
    void QuickClose();
    void Timer_Timer();
    // Hands one reply word to the connection, framed.
    void Send(std::string_view reply, bool enciphered);
    bool ConnectionUp() const;
    // Ends the connection without raising anything; a reply already handed over still goes out.
    void CloseConnection();
    void LogStartError(const QString &description);
    // Raises a signal; false when a handler meanwhile ended the connection or restarted or
    // stopped the server, so that the caller must not go on with what it was doing.
    template <typename... Params, typename... Args>
    bool Raise(void (CZaridoDovoServer::*signal)(Params...), const Args &...args)
    {
        const quint64 epoch = m_epoch;
        (this->*signal)(args...);
        return epoch == m_epoch;
    }

    void onConnectionRequest();
    void onDataArrival();
    void onSendProgress(qint64 bytes);

    QString m_LocalIP;
    int m_LocalPort = 0;
    bool m_Started = false;
    CZaridoDovoMessage m_CurrentMessage;
    QByteArray m_password;
    bool m_AllowSecureOnly = false;
    CLog m_Log;
    int m_TicksLeft = 0;
    int m_Timeout = 0;
    CTimer m_Timer;
    int m_tickMilliseconds;

    QHostAddress m_bindAddress;
    QTcpServer m_listener;
    QPointer<QTcpSocket> m_connection;
    QString m_peer; // the connection's peer address, noted at accept (a closed socket forgets it)
    MessageJudge m_judge;
    qint64 m_replySize = 0;
    qint64 m_replyWritten = 0;
    // Changes whenever the connection ends or the caller starts or stops the server. A handler
    // of one of our signals may do either; the code after the emit then must not go on.
    quint64 m_epoch = 0;
};
