#pragma once

#include "protocol/KeyStore.h"
#include "protocol/MessageJudge.h"
#include "core/CTimer.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

class QTcpSocket;
class ReplayGuard;

// One accepted connection of the receiving endpoint: it reads one frame, has it judged,
// answers once and ends. The server owns it and relays its events; many are served side by side.
// Each has its own idle count (ended at the (timeout + 1)-th tick after the last reload; accept,
// data and send progress reload it) and a deadline for the whole frame, so that a peer trickling
// a byte now and then cannot hold it for ever.
class ZaridoDovoConnection : public QObject
{
    Q_OBJECT

public:
    struct Terms
    {
        std::shared_ptr<const SecretBytes> password; // enciphers the reply to a legacy frame
        MessageJudge judge; // configured by the server; each connection judges with its own copy
        KeyStore *keys = nullptr;      // the server's, for sealed frames
        ReplayGuard *replays = nullptr; // the server's, shared by every connection
        std::function<std::int64_t()> clock; // Unix seconds
        int timeout = 0;     // idle ticks allowed after a reload
        int tickMilliseconds = 0;
        int frameDeadlineMilliseconds = 0;
    };

    // Takes the socket over.
    ZaridoDovoConnection(QTcpSocket *socket, const Terms &terms, QObject *parent);
    ~ZaridoDovoConnection() override;

    // Logs the accept (unless told to keep quiet), raises Connected and starts the clocks.
    void Begin(bool logAccept = true);

    QString Peer() const { return m_peer; }
    // When bytes last came, or the accept if none have: the lower, the longer it has been idle.
    std::chrono::steady_clock::time_point LastData() const { return m_lastData; }
    // A whole frame has come and been judged: what is left is answering it.
    bool FrameComplete() const { return m_state != State::Reading; }
    int TicksLeft() const { return m_TicksLeft; }

    // Valid only while MessageReceived is being raised: the message is answered with `reply`
    // in plain mode instead of "OK", and the reason logged as an error.
    void Refuse(const QByteArray &reply, const QString &reason);
    // Ends the connection at once, raising nothing and logging nothing; a reply already handed
    // over still goes out.
    void Drop();

signals:
    void LogLine(const QString &line);
    void Disconnected(const QString &remoteIP);
    void Connected(const QString &remoteIP);
    void Timeout(const QString &remoteIP);
    void MessageReceived(const QByteArray &message, const QString &from);
    void MessageError(const QString &description);
    // The connection is over; raised once, last. Not raised by Drop.
    void Ended();

private:
    void Act(MessageJudge::Verdict verdict);
    void FinishMessage();
    // Raises MessageError ("Invalid Message Received: " + explanation) and logs logText.
    void RejectMessage(const QString &logText, const QString &explanation);
    void SocketClosed();
    void QuickClose();
    void Timer_Timer();
    void TimeOut();
    enum class ReplyMode { Plain, Legacy, Sealed };
    // Hands one reply word to the socket, framed; nothing is written out yet (see Flush).
    void Send(std::string_view reply, ReplyMode mode);
    ReplyMode ModeOfReply() const;
    // A whole sealed frame waits for the key of its salt, derived or remembered by the server.
    void RequestKey();
    void KeyArrived(KeyStore::Key key);
    // Answers the judge's refusal with `reply`.
    void RefuseWith(std::string_view reply, ReplyMode mode);
    // No key can be derived now: a plain "BUSY".
    void RefuseBusy(const QString &reason);
    // A peer that half-closed while its key was derived: a socket on the spare descriptor.
    bool Revive();
    void ReleaseSpare();
    // Writes the queued reply to the system now: a peer that half-closed after its frame makes
    // the socket close on the read end-of-file, and a reply still buffered then would be lost.
    void Flush();
    bool ConnectionUp() const;
    // Lets go of the socket without raising anything; a reply already handed over still goes out.
    void CloseConnection();
    void End();
    void AddLog(const QString &line) { emit LogLine(line); }
    // Raises a signal; false when a handler meanwhile ended or deleted this connection
    // (stopped or restarted the server), so that the caller must not touch it any more.
    template <typename... Params, typename... Args>
    bool Raise(void (ZaridoDovoConnection::*signal)(Params...), const Args &...args)
    {
        const QPointer<ZaridoDovoConnection> self(this);
        (this->*signal)(args...);
        return self && m_state != State::Ended;
    }

    void onDataArrival();
    void onSendProgress(qint64 bytes);

    QTcpSocket *m_socket;
    QString m_peer; // noted at accept: a closed socket forgets it
    std::chrono::steady_clock::time_point m_lastData = std::chrono::steady_clock::now();
    std::shared_ptr<const SecretBytes> m_password;
    MessageJudge m_judge;
    KeyStore *m_keys;
    ReplayGuard *m_replays;
    std::function<std::int64_t()> m_clock;
    KeyStore::Key m_key; // opened the sealed frame; seals its reply
    enum class State {
        Reading,     // the frame is still coming
        AwaitingKey, // a whole sealed frame waits for its key
        Delivering,  // MessageReceived is being raised
        Replying,    // judged: the reply is going out, or the connection is ending
        Ended,
    };
    State m_state = State::Reading;
    int m_spareDescriptor = -1; // a duplicate of the socket's while a key is derived
    int m_Timeout;
    int m_TicksLeft;
    int m_tickMilliseconds;
    CTimer m_Timer;
    QTimer m_frameDeadline;
    qint64 m_replySize = 0;
    qint64 m_replyWritten = 0;
    std::optional<std::pair<QByteArray, QString>> m_refusal; // reply and reason
};
