#pragma once

#include "crypto/SecretBytes.h"
#include "phone/PhoneListener.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <map>
#include <memory>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;

// The web server phones pair with: it serves the page and answers the page's sealed calls
// ("hello", "send", "poll"). A pairing offer is a session and a key shown in the link; the
// first hello of that session asks the user, and nothing from the phone counts until it is
// allowed. Requests that do not open under their session's key, replays and unknown
// sessions are refused without detail; an address failing too often is shut out a while.
class PhoneServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxText = 1024 * 1024; // as on the message port

    struct Limits
    {
        PhoneListener::Limits connection;
        int pollMilliseconds = 25'000; // a poll with nothing to give is held this long
        int failures = 5;              // more than this many within the window shut an address out
        int failureWindowMilliseconds = 60'000;
        int shutOutMilliseconds = 300'000;
    };

    struct Offer
    {
        QByteArray session; // base64url, as in the link
        QByteArray key;     // base64url, as in the link
    };

    struct Phone
    {
        QByteArray session;
        QString name;
        QDateTime lastUse;
    };

    explicit PhoneServer(const Limits &limits, QObject *parent = nullptr);
    ~PhoneServer() override;

    bool Listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_error; }
    quint16 Port() const;

    // A new link; an earlier offer nobody answered is withdrawn.
    Offer OfferPairing();
    // No new phone may pair any more; paired phones go on.
    void WithdrawOffer();
    void Answer(const QByteArray &session, bool allowed);
    void Unpair(const QByteArray &session);
    QList<Phone> Phones() const;
    // The session of the paired phone of that name; empty when none.
    QByteArray SessionNamed(const QString &name) const;
    // Queued for the phone's page; TextDelivered follows once the page confirms it.
    bool Queue(const QByteArray &session, const QByteArray &text);

signals:
    void PairingAsked(const QByteArray &session, const QString &name, const QString &address);
    void TextArrived(const QString &name, const QByteArray &text);
    void TextDelivered(const QString &name, const QByteArray &text);
    void PhonesChanged();

private:
    enum class State { Offered, Asking, Paired };
    struct Session
    {
        State state = State::Offered;
        SecretBytes key;
        QString name;
        QDateTime lastUse;
        QSet<QByteArray> nonces; // every nonce seen: a replay is refused
        qint64 nextId = 1;
        std::map<qint64, QByteArray> queue;
        std::unique_ptr<QHttpServerResponder> poll; // a held poll
        QPointer<QTcpSocket> pollSocket;
    };

    void Handle(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    void Call(const QByteArray &kind, const QHttpServerRequest &request, QHttpServerResponder &&responder);
    void Failed(const QHostAddress &address);
    bool ShutOut(const QHostAddress &address);
    static QByteArray Reply(const Session &session);
    void AnswerPoll(Session &session);
    void Drop(const QByteArray &sessionId);

    Limits m_limits;
    QHttpServer *m_http;
    PhoneListener *m_listener = nullptr;
    QString m_error;
    std::map<QByteArray, Session> m_sessions;
    QElapsedTimer m_clock;
    QHash<QHostAddress, QList<qint64>> m_failures;
    QHash<QHostAddress, qint64> m_shutOutUntil;
};
