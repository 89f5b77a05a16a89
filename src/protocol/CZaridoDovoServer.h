#pragma once

#include "protocol/KeyStore.h"
#include "protocol/MessageJudge.h"
#include "protocol/ReplayGuard.h"
#include "protocol/ReplayJournal.h"
#include "protocol/WireFormat.h"
#include "core/CLog.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class QTcpSocket;
class ZaridoDovoConnection;

// How many connections the receiver serves at once, and how long one may take to bring its frame.
struct ServerLimits
{
    // A flood of connections must not exhaust the process; ordinary use needs a handful.
    static constexpr int MaxConnections = 128;
    // One host may not take every place, yet twenty senders at once from one host all fit.
    static constexpr int MaxConnectionsPerAddress = 32;
    // A whole frame must have arrived this long after the accept, or the connection is ended as
    // timed out. A full 1 MiB frame takes about 8.4 s at 1 Mbit/s; a minute leaves room for
    // slower links and busy hosts while a trickling peer still cannot hold a place for ever.
    static constexpr int FrameDeadlineMilliseconds = 60000;
    // Connections dropped to make room are logged together, in one line at most this often: a
    // peer that reconnects at once cannot flood the log.
    static constexpr int DropReportMilliseconds = 1000;

    int total = MaxConnections;
    int perAddress = MaxConnectionsPerAddress;
    int frameDeadlineMilliseconds = FrameDeadlineMilliseconds;
    int dropReportMilliseconds = DropReportMilliseconds;
};

// The receiving endpoint. Listens on one port from a successful start until StopServer and
// serves every accepted connection on its own (ZaridoDovoConnection): each reads one frame,
// delivers it, answers "OK" or a refusal word (WireFormat.h) and ends. When a newcomer
// would pass a limit, the address holding the most connections makes room for it, so that a few
// busy addresses cannot crowd the others out; see DropForRoom.
class CZaridoDovoServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTickMilliseconds = ZaridoDovo::IdleTickMilliseconds;

    // tickMilliseconds is the idle timer's period; only tests change it and the limits.
    explicit CZaridoDovoServer(QObject *parent = nullptr, int tickMilliseconds = DefaultTickMilliseconds,
                               ServerLimits limits = {}, KeyStore::Limits keyLimits = {});
    ~CZaridoDovoServer() override;

    QString LocalIP() const { return m_LocalIP; }
    int LocalPort() const { return m_LocalPort; }
    bool Started() const { return m_Started; }
    CLog &Log() { return m_Log; }
    void AddLog(const QString &msg);

    // Empty ipAddress: every local address, IPv6 and IPv4 (IPv4 alone where the machine has no
    // IPv6); LocalIP() then reads "0.0.0.0". Port 0 picks a free port. Connections being served
    // are dropped without events. Returns Started(). With a password, sealed frames are always
    // accepted and legacy ones only when cipher is Legacy.
    bool StartServer(const QString &ipAddress, int port, int timeout, const QByteArray &password = {},
                     bool allowSecureOnly = false, ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Sealed);
    // The same with a password already in locked memory, shared rather than copied; nullptr: none.
    bool StartServer(const QString &ipAddress, int port, int timeout, std::shared_ptr<const SecretBytes> password,
                     bool allowSecureOnly, ZaridoDovo::Cipher cipher);

    // Where the replay memory is kept across restarts (see ReplayJournal). Empty, the default:
    // in memory only, so a restarted receiver may take a frame again.
    void SetReplayFolder(const QString &folder) { m_replayFolder = folder; }

    // Only tests change this: how sealing keys are derived (cheaply).
    void SetKeyDeriver(KeyStore::Deriver deriver) { m_keys.SetDeriver(std::move(deriver)); }
    const KeyStore &Keys() const { return m_keys; }
    // Stops listening and drops every connection. Started() keeps its value.
    void StopServer();

    // Valid only while a MessageReceived handler runs: the connection whose message is being
    // delivered answers `reply` as a plain frame instead of "OK", logs "Error: " + reason and
    // does not log "Message Finished - OK". Ignored at any other time.
    void RefuseMessage(const QByteArray &reply, const QString &reason);

signals:
    void Disconnected(const QString &remoteIP);
    void Connected(const QString &remoteIP);
    void Timeout(const QString &remoteIP);
    void MessageReceived(const QByteArray &message, const QString &from);
    void MessageError(const QString &description);

private:
    void BeginListening();
    void LogStartError(const QString &description);
    void DropAll();
    void onConnectionRequest();
    void Admit(QTcpSocket *socket);
    // Drops one connection from the address holding the most (from `address` alone unless it is
    // empty): one still waiting for its frame before one being answered, and of those the one
    // idle longest, so that a connection receiving its frame goes last. False: none there.
    bool DropForRoom(const QString &address);
    qsizetype CountFrom(const QString &address) const;
    void DropReportDue();
    void ReportDrops();
    // Logs drops not yet logged, and the next accept is logged again.
    void EndDropBurst();
    void Forget(ZaridoDovoConnection *connection);

    QString m_LocalIP;
    int m_LocalPort = 0;
    bool m_Started = false;
    std::shared_ptr<const SecretBytes> m_password;
    MessageJudge m_judge; // as configured; every connection judges with a copy
    KeyStore m_keys;
    ReplayGuard m_replays;
    ReplayJournal m_journal;
    QString m_replayFolder;
    std::function<std::int64_t()> m_clock;
    CLog m_Log;
    int m_Timeout = 0;
    int m_tickMilliseconds;
    ServerLimits m_limits;

    QHostAddress m_bindAddress;
    bool m_everyAddress = false; // the default listener: both IP versions
    QTcpServer m_listener;
    QList<ZaridoDovoConnection *> m_connections; // in the order they were accepted
    QPointer<ZaridoDovoConnection> m_delivering; // whose MessageReceived is being raised
    // While connections are being dropped for room, accepts and drops are counted, not logged
    // one by one; the burst ends with a report period without drops.
    bool m_limitBurst = false;
    QTimer m_dropReport;
    int m_dropped = 0;
    int m_acceptedQuietly = 0;
    QHash<QString, int> m_droppedFrom;
};
