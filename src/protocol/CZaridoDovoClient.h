#pragma once

#include "protocol/FrameReader.h"
#include "protocol/KeyStore.h"
#include "protocol/WireFormat.h"
#include "core/CLog.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>

class QTcpSocket;

// The sending endpoint: for each SendMessage it connects, sends one frame, reads the reply
// frame and reports the outcome with its signals. A new SendMessage drops a send in progress
// without any signal for it.
//
// Every send that gets past the address check ends in exactly one of:
//   NotSent       refused here, before anything went out (empty or unframeable text);
//   Error         the transfer failed: no connection, or no complete reply (closed, reset,
//                 or the reply deadline passed);
//   MessageError  the receiver answered, and not "OK";
//   MessageSent   the receiver answered "OK".
class CZaridoDovoClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int ConnectTimeoutMilliseconds = 15000;
    // Counted from the last byte of the frame handed on (and restarted while the upload moves).
    static constexpr int ReplyTimeoutMilliseconds = 30000;

    struct Deadlines
    {
        int connectMilliseconds = ConnectTimeoutMilliseconds;
        int replyMilliseconds = ReplyTimeoutMilliseconds;
    };

    explicit CZaridoDovoClient(QObject *parent = nullptr);
    explicit CZaridoDovoClient(const Deadlines &deadlines, QObject *parent = nullptr);
    ~CZaridoDovoClient() override;

    CLog &Log() { return m_Log; }
    void AddLog(const QString &msg);

    // Enciphered with the cipher when password is not empty. The outcome comes as signals and
    // log lines. A sealed send first derives the sending key, once per password on a worker
    // (this copy's salt is chosen once); a sealed send succeeds only on a sealed "OK" that
    // opens with that key and is bound to this message.
    void SendMessage(const QString &ipAddress, int port, const QByteArray &message, const QByteArray &password = {},
                     ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Sealed);
    // The same with a password already in locked memory, shared rather than copied; nullptr: none.
    void SendMessage(const QString &ipAddress, int port, const QByteArray &message,
                     std::shared_ptr<const SecretBytes> password, ZaridoDovo::Cipher cipher);

    // The local address connections leave from: a copy listening on one address sends from it,
    // so the receiver sees (and remembers) an address it can answer to. Empty or an any-address:
    // the system picks, as it does for a loopback source and a destination elsewhere.
    void SetSourceAddress(const QString &address);

    // Sends with the salt kept in this file (see SaltFile) rather than one of this copy's own.
    void SetSaltFile(const QString &path);

    // Only tests change it: how the sending key is derived (cheaply).
    void SetKeyDeriver(KeyStore::Deriver deriver) { m_deriver = std::move(deriver); }

    // Payload bytes of the last text handed to the socket: what the receiver counts.
    qsizetype SentBytes() const { return m_sentBytes; }

signals:
    void Error(int number, const QString &description); // a socket error number and its reason
    void MessageSent(int ticks);                      // ms from SendMessage to the "OK" reply
    void MessageError(const QByteArray &description); // the reply word, or "Invalid Message Received"
    void NotSent(const QString &reason);
    void Disconnected(const QString &remoteIP);

private:
    // Frames the pending message (sealing it when a key is due) and connects.
    void Dispatch(const QByteArray &message);
    void DeriveThenDispatch(const QByteArray &message);
    void KeyDerived(const std::shared_ptr<const SecretBytes> &derivedFor, const std::string &salt, KeyStore::Key key);
    void SendPending();
    void CheckReply(FrameReader::Status status);
    void EvaluateReply(const QByteArray &reply);
    void RejectReply(const QString &logText);
    // Forgets the socket without hearing anything more from it.
    void DropSocket();
    QString Destination() const;

    void onConnect();
    void onDataArrival();
    void onBytesWritten();
    void onClose();
    void onError();
    void onDeadline();
    void Fail(QAbstractSocket::SocketError error, const QString &reason);

    QHostAddress m_source; // null: the system picks
    QString m_IP_Address;
    int m_Port = 0;
    std::string m_frame;
    std::shared_ptr<const SecretBytes> m_password;
    ZaridoDovo::Cipher m_cipher = ZaridoDovo::Cipher::Sealed;
    KeyStore::Deriver m_deriver;
    std::string m_salt;                          // this copy's, or the user's (SetSaltFile)
    std::shared_ptr<const SecretBytes> m_keyFor; // the password m_key was derived from
    KeyStore::Key m_key;
    std::shared_ptr<const SecretBytes> m_derivingFor; // the password whose key is being derived
    bool m_awaitingKey = false;                       // the send in progress waits for that key
    QByteArray m_pending;                             // its text meanwhile
    std::string m_requestNonce; // of the sealed message in flight; its reply must be bound to it
    QElapsedTimer m_StartTicks;
    FrameReader m_reader;
    qint64 m_replyBytes = 0; // bytes of the reply frame received and not yet judged
    bool m_answered = false; // a complete reply has been judged on this connection
    qsizetype m_sentBytes = 0;
    CLog m_Log;
    QPointer<QTcpSocket> m_socket;
    int m_spareDescriptor = -1; // a duplicate of the socket's, while connected
    Deadlines m_deadlines;
    QTimer m_deadline; // connecting, then waiting for the reply
    // Changes with every send, so code after an emit knows whether a handler started another.
    quint64 m_epoch = 0;
};
