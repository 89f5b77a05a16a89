#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class OrgFreedesktopAvahiServer2Interface;
class OrgFreedesktopAvahiServiceBrowserInterface;
class QDBusPendingCallWatcher;

// A copy found on the network. Its name came from the network: cleaned, never trusted.
struct Peer
{
    QString name;
    QString host; // numeric; IPv6 link-local with its scope
    quint16 port = 0;
    bool sealed = false; // it said once that it takes sealed messages
    QByteArray id;

    QString Label() const; // "desk-3 — 192.168.1.20"
    QString Target() const; // "192.168.1.20:30666", "[fe80::1%eth0]:30666"
};

// Browses for _textdrop._tcp services through the Avahi daemon and keeps what it finds,
// within bounds: at most MaxPeers records, a few resolved at a time, names cleaned and cut.
// Records of this copy (by its id) and of virtual interfaces are skipped; records of one
// peer on several interfaces or IP versions are shown once.
class PeerBrowser : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxPeers = 256;
    static constexpr int MaxResolving = 8;

    explicit PeerBrowser(const QDBusConnection &bus, QObject *parent = nullptr);
    ~PeerBrowser() override;

    void Start(); // browses until destroyed, and again when Avahi comes back
    void SkipId(const QByteArray &ownId) { m_ownId = ownId; }

    QList<Peer> Peers() const; // ordered by name
    // Nothing is waiting to be resolved and Avahi has told what it knows for now.
    bool Settled() const { return m_allForNow && m_waiting.isEmpty() && m_resolving == 0; }
    QString errorString() const { return m_error; }

signals:
    void PeersChanged();
    void SettledDown();
    void Failed(const QString &why);

private:
    struct Item
    {
        int interface = 0;
        int protocol = 0;
        QString name;
        QString domain;
        bool resolved = false;
        Peer peer;
    };

    void Browse();
    void OnItemNew(int interface, int protocol, const QString &name, const QString &type, const QString &domain,
                   uint flags);
    void OnItemRemove(int interface, int protocol, const QString &name, const QString &type, const QString &domain,
                      uint flags);
    void ResolveNext();
    void OnResolved(const QString &key, QDBusPendingCallWatcher &call);
    void Changed();
    void CheckSettled();
    void Clear();
    void Fail(const QString &why);

    QDBusConnection m_bus;
    OrgFreedesktopAvahiServer2Interface *m_server;
    OrgFreedesktopAvahiServiceBrowserInterface *m_browser = nullptr;
    QDBusServiceWatcher m_watcher;
    QHash<QString, Item> m_items;
    QList<QString> m_waiting;
    QSet<QByteArray> m_sealedIds; // once sealed, shown sealed
    QByteArray m_ownId;
    int m_resolving = 0;
    int m_generation = 0;
    bool m_started = false;
    bool m_allForNow = false;
    bool m_changePending = false;
    QString m_error;
};
