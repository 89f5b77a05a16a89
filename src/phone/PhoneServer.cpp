#include "phone/PhoneServer.h"

#include "crypto/Sodium.h"
#include "phone/PhoneSeal.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

namespace {

using Status = QHttpServerResponder::StatusCode;

// The page loads nothing from elsewhere and runs no inline code.
const QByteArray PagePolicy = "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                              "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

void Respond(QHttpServerResponder &responder, Status status, const QByteArray &type = {}, const QByteArray &body = {})
{
    responder.writeStatusLine(status);
    if (!type.isEmpty())
        responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("Content-Security-Policy", PagePolicy);
    responder.writeHeader("Connection", "close");
    responder.writeBody(body);
    if (QTcpSocket *socket = responder.socket())
        socket->disconnectFromHost();
}

QByteArray HeaderValue(const QHttpServerRequest &request, const QByteArray &name)
{
    for (const auto &[key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

// What the page calls itself, kept short and plain, and the session's start so two phones
// of one kind differ.
QString PhoneName(const QString &offered, const QByteArray &session)
{
    QString name = offered;
    name.remove(QRegularExpression(QStringLiteral("[^\\w .-]")));
    name = name.simplified().left(24);
    if (name.isEmpty())
        name = QStringLiteral("phone");
    return name + QLatin1Char(' ') + QString::fromLatin1(session.left(4));
}

} // namespace

PhoneServer::PhoneServer(const Limits &limits, QObject *parent)
    : QObject(parent), m_limits(limits), m_http(new QHttpServer(this))
{
    m_clock.start();
    m_http->setMissingHandler(
        [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) { Handle(request, std::move(responder)); });
}

PhoneServer::~PhoneServer() = default;

bool PhoneServer::Listen(const QHostAddress &address, quint16 port)
{
    delete m_listener;
    m_listener = new PhoneListener(m_limits.connection, this);
    if (!m_listener->listen(address, port)) {
        m_error = m_listener->errorString();
        delete m_listener;
        m_listener = nullptr;
        return false;
    }
    m_http->bind(m_listener);
    return true;
}

quint16 PhoneServer::Port() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

PhoneServer::Offer PhoneServer::OfferPairing()
{
    WithdrawOffer();
    const QByteArray session = PhoneSeal::ToLink(QByteArray::fromStdString(Sodium::RandomBytes(16)));
    Session &fresh = m_sessions[session];
    fresh.key = SecretBytes(Sodium::RandomBytes(PhoneSeal::KeySize));
    return {session, PhoneSeal::ToLink(QByteArray(reinterpret_cast<const char *>(fresh.key.Data()), PhoneSeal::KeySize))};
}

void PhoneServer::WithdrawOffer()
{
    std::erase_if(m_sessions, [](const auto &entry) { return entry.second.state == State::Offered; });
}

void PhoneServer::Answer(const QByteArray &session, bool allowed)
{
    const auto it = m_sessions.find(session);
    if (it == m_sessions.end() || it->second.state != State::Asking)
        return;
    if (!allowed) {
        Drop(session);
        return;
    }
    it->second.state = State::Paired;
    emit PhonesChanged();
    AnswerPoll(it->second);
}

void PhoneServer::Unpair(const QByteArray &session)
{
    Drop(session);
}

QList<PhoneServer::Phone> PhoneServer::Phones() const
{
    QList<Phone> phones;
    for (const auto &[id, session] : m_sessions)
        if (session.state == State::Paired)
            phones.append({id, session.name, session.lastUse});
    return phones;
}

QByteArray PhoneServer::SessionNamed(const QString &name) const
{
    for (const auto &[id, session] : m_sessions)
        if (session.state == State::Paired && session.name == name)
            return id;
    return {};
}

bool PhoneServer::Queue(const QByteArray &session, const QByteArray &text)
{
    const auto it = m_sessions.find(session);
    if (it == m_sessions.end() || it->second.state != State::Paired || text.size() > MaxText)
        return false;
    it->second.queue.emplace(it->second.nextId++, text);
    AnswerPoll(it->second);
    return true;
}

void PhoneServer::Handle(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    PhoneListener::RequestArrived(responder.socket());
    const QString path = request.url().path();
    if (request.method() == QHttpServerRequest::Method::Post && path.startsWith(QLatin1String("/api/"))) {
        Call(path.mid(5).toLatin1(), request, std::move(responder));
        return;
    }
    static const QHash<QString, std::pair<QString, QByteArray>> files{
        {QStringLiteral("/"), {QStringLiteral(":/phone/index.html"), "text/html; charset=utf-8"}},
        {QStringLiteral("/page.js"), {QStringLiteral(":/phone/page.js"), "text/javascript; charset=utf-8"}},
        {QStringLiteral("/seal.js"), {QStringLiteral(":/phone/seal.js"), "text/javascript; charset=utf-8"}},
        {QStringLiteral("/nacl-fast.min.js"), {QStringLiteral(":/phone/nacl-fast.min.js"), "text/javascript; charset=utf-8"}},
        {QStringLiteral("/page.css"), {QStringLiteral(":/phone/page.css"), "text/css; charset=utf-8"}},
    };
    if (path == QLatin1String("/favicon.ico")) {
        Respond(responder, Status::NoContent); // the page has no icon; browsers ask anyway
        return;
    }
    const auto file = files.constFind(path);
    if (request.method() != QHttpServerRequest::Method::Get || file == files.cend()) {
        Respond(responder, Status::NotFound);
        return;
    }
    QFile resource(file->first);
    if (!resource.open(QIODevice::ReadOnly)) {
        Respond(responder, Status::InternalServerError);
        return;
    }
    Respond(responder, Status::Ok, file->second, resource.readAll());
}

void PhoneServer::Call(const QByteArray &kind, const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    const QHostAddress from = request.remoteAddress();
    if (ShutOut(from)) {
        Respond(responder, Status::TooManyRequests);
        return;
    }
    const QByteArray sessionId = HeaderValue(request, "X-Session");
    const auto it = m_sessions.find(sessionId);
    const QByteArray body = request.body();
    std::optional<QByteArray> plain;
    if (it != m_sessions.end())
        plain = PhoneSeal::Open(it->second.key, body);
    const QJsonObject call = plain ? QJsonDocument::fromJson(*plain).object() : QJsonObject();
    const QByteArray nonce = body.left(PhoneSeal::NonceSize);
    // Unknown session, a broken seal, a replay or a call sealed for another place: one answer.
    if (!plain || it->second.nonces.contains(nonce) || call.value(QLatin1String("to")).toString() != QLatin1String("desktop")
        || call.value(QLatin1String("kind")).toString().toLatin1() != kind) {
        Failed(from);
        Respond(responder, Status::Forbidden);
        return;
    }
    Session &session = it->second;
    session.nonces.insert(nonce);
    session.lastUse = QDateTime::currentDateTime();

    if (kind == "hello") {
        if (session.state == State::Offered) {
            session.state = State::Asking;
            session.name = PhoneName(call.value(QLatin1String("name")).toString(), sessionId);
            emit PairingAsked(sessionId, session.name, from.toString());
        }
        Respond(responder, Status::Ok, "application/octet-stream", Reply(session));
    } else if (kind == "send" && session.state == State::Paired) {
        const auto text = QByteArray::fromBase64Encoding(call.value(QLatin1String("text")).toString().toLatin1(),
                                                         QByteArray::AbortOnBase64DecodingErrors);
        if (!text || text.decoded.size() > MaxText) {
            Respond(responder, Status::PayloadTooLarge);
            return;
        }
        const QString name = session.name; // the receiver may unpair
        Respond(responder, Status::Ok, "application/octet-stream", Reply(session));
        emit TextArrived(name, text.decoded);
    } else if (kind == "poll" && session.state != State::Offered) {
        const auto since = qint64(call.value(QLatin1String("since")).toDouble());
        QList<QByteArray> delivered;
        for (auto entry = session.queue.begin(); entry != session.queue.end() && entry->first <= since;) {
            delivered.append(entry->second);
            entry = session.queue.erase(entry);
        }
        AnswerPoll(session); // an older poll of this page is answered now
        // The page is answered at once when it has something to learn: texts, or that it was allowed.
        const bool pageKnows = call.value(QLatin1String("paired")).toBool() == (session.state == State::Paired);
        if (!pageKnows || (session.state == State::Paired && !session.queue.empty())) {
            Respond(responder, Status::Ok, "application/octet-stream", Reply(session));
        } else {
            session.pollSocket = responder.socket();
            session.poll = std::make_unique<QHttpServerResponder>(std::move(responder));
            QTimer::singleShot(m_limits.pollMilliseconds, this, [this, sessionId, socket = session.pollSocket] {
                const auto held = m_sessions.find(sessionId);
                if (held != m_sessions.end() && socket && held->second.pollSocket == socket)
                    AnswerPoll(held->second);
            });
        }
        const QString name = session.name;
        for (const QByteArray &text : std::as_const(delivered))
            emit TextDelivered(name, text);
    } else {
        Respond(responder, Status::Conflict); // a sound call at the wrong time: not yet allowed
    }
}

QByteArray PhoneServer::Reply(const Session &session)
{
    QJsonArray texts;
    if (session.state == State::Paired)
        for (const auto &[id, text] : session.queue)
            texts.append(QJsonObject{{QStringLiteral("id"), double(id)}, {QStringLiteral("text"), QString::fromLatin1(text.toBase64())}});
    const QJsonObject reply{{QStringLiteral("to"), QStringLiteral("page")},
                            {QStringLiteral("state"), session.state == State::Paired ? QStringLiteral("paired") : QStringLiteral("waiting")},
                            {QStringLiteral("texts"), texts}};
    return PhoneSeal::Seal(session.key, QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

void PhoneServer::AnswerPoll(Session &session)
{
    if (!session.poll)
        return;
    const std::unique_ptr<QHttpServerResponder> poll = std::move(session.poll);
    const QPointer<QTcpSocket> socket = std::exchange(session.pollSocket, nullptr);
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        Respond(*poll, Status::Ok, "application/octet-stream", Reply(session));
}

void PhoneServer::Drop(const QByteArray &sessionId)
{
    const auto it = m_sessions.find(sessionId);
    if (it == m_sessions.end())
        return;
    if (it->second.poll && it->second.pollSocket && it->second.pollSocket->state() == QAbstractSocket::ConnectedState)
        Respond(*it->second.poll, Status::Forbidden);
    const bool wasPaired = it->second.state == State::Paired;
    m_sessions.erase(it);
    if (wasPaired)
        emit PhonesChanged();
}

void PhoneServer::Failed(const QHostAddress &address)
{
    const qint64 now = m_clock.elapsed();
    QList<qint64> &times = m_failures[address];
    times.removeIf([&](qint64 at) { return now - at >= m_limits.failureWindowMilliseconds; });
    times.append(now);
    if (times.size() <= m_limits.failures)
        return;
    m_failures.remove(address);
    m_shutOutUntil.insert(address, now + m_limits.shutOutMilliseconds);
}

bool PhoneServer::ShutOut(const QHostAddress &address)
{
    const auto until = m_shutOutUntil.constFind(address);
    if (until == m_shutOutUntil.cend())
        return false;
    if (*until > m_clock.elapsed())
        return true;
    m_shutOutUntil.erase(until);
    return false;
}
