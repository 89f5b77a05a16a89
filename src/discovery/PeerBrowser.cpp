#include "discovery/PeerBrowser.h"

#include "AvahiServer.h"
#include "AvahiServiceBrowser.h"
#include "discovery/Announcement.h"
#include "discovery/AvahiBus.h"
#include "discovery/LocalAddresses.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTimer>

#include <algorithm>

namespace {
// No DNS label is longer; anything longer is not worth the memory of keeping it.
constexpr qsizetype MaxRawName = 255;

QString KeyOf(int interface, int protocol, const QString &name)
{
    return QString::number(interface) + u'/' + QString::number(protocol) + u'/' + name;
}
} // namespace

QString Peer::Label() const
{
    return name + QStringLiteral(" \u2014 ") + host;
}

QString Peer::Target() const
{
    return WithPort(host, port);
}

PeerBrowser::PeerBrowser(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_server(new OrgFreedesktopAvahiServer2Interface(Avahi::Service, QStringLiteral("/"), bus, this))
    , m_watcher(Avahi::Service, bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    Avahi::RegisterTypes();
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                Clear();
                if (!m_started)
                    return;
                if (owner.isEmpty())
                    Fail(QStringLiteral("the Avahi daemon stopped"));
                else
                    Browse();
            });
}

PeerBrowser::~PeerBrowser()
{
    if (m_browser)
        m_browser->Free();
}

void PeerBrowser::Start()
{
    m_started = true;
    if (!m_bus.isConnected())
        return Fail(QStringLiteral("the system's message bus (D-Bus) is not reachable"));
    Browse();
}

void PeerBrowser::Browse()
{
    const int generation = ++m_generation;
    const auto call = m_server->ServiceBrowserPrepare(Avahi::InterfaceAny, Avahi::ProtocolAny, Avahi::ServiceType,
                                                      QString(), 0);
    Avahi::OnReply(call, this, [this, generation](QDBusPendingCallWatcher &done) {
        const QDBusPendingReply<QDBusObjectPath> reply = done;
        if (generation != m_generation)
            return;
        if (reply.isError())
            return Fail(Avahi::Explain(reply.error()));
        m_error.clear();
        // Prepared, not yet started: no record can pass before these connections exist.
        m_browser = new OrgFreedesktopAvahiServiceBrowserInterface(Avahi::Service, reply.value().path(), m_bus, this);
        using Browser = OrgFreedesktopAvahiServiceBrowserInterface;
        connect(m_browser, &Browser::ItemNew, this, &PeerBrowser::OnItemNew);
        connect(m_browser, &Browser::ItemRemove, this, &PeerBrowser::OnItemRemove);
        connect(m_browser, &Browser::AllForNow, this, [this] {
            m_allForNow = true;
            CheckSettled();
        });
        connect(m_browser, &Browser::Failure, this,
                [this](const QString &error) { Fail(QStringLiteral("Avahi stopped browsing: %1").arg(error.left(200))); });
        m_browser->Start();
    });
}

void PeerBrowser::OnItemNew(int interface, int protocol, const QString &name, const QString &, const QString &domain,
                            uint)
{
    // A flood beyond the cap is ignored; the records already kept stay.
    if (m_items.size() >= MaxPeers || name.size() > MaxRawName)
        return;
    if (IsVirtualInterface(QNetworkInterface::interfaceNameFromIndex(interface)))
        return;
    const QString key = KeyOf(interface, protocol, name);
    if (m_items.contains(key))
        return;
    m_items.insert(key, Item{interface, protocol, name, domain.left(MaxRawName), false, {}});
    m_waiting.append(key);
    ResolveNext();
}

void PeerBrowser::OnItemRemove(int interface, int protocol, const QString &name, const QString &, const QString &,
                               uint)
{
    const QString key = KeyOf(interface, protocol, name);
    const auto found = m_items.constFind(key);
    if (found == m_items.constEnd())
        return;
    const bool shown = found->resolved;
    m_items.erase(found);
    m_waiting.removeOne(key);
    if (shown)
        Changed();
}

void PeerBrowser::ResolveNext()
{
    while (m_resolving < MaxResolving && !m_waiting.isEmpty()) {
        const QString key = m_waiting.takeFirst();
        const Item &item = m_items[key];
        ++m_resolving;
        const int generation = m_generation;
        const auto call = m_server->ResolveService(item.interface, item.protocol, item.name, Avahi::ServiceType,
                                                   item.domain, item.protocol, 0);
        Avahi::OnReply(call, this, [this, key, generation](QDBusPendingCallWatcher &done) {
            if (generation != m_generation)
                return;
            --m_resolving;
            OnResolved(key, done);
            ResolveNext();
            CheckSettled();
        });
    }
}

void PeerBrowser::OnResolved(const QString &key, QDBusPendingCallWatcher &call)
{
    const auto found = m_items.find(key);
    const QList<QVariant> values = call.reply().arguments();
    if (found == m_items.end())
        return; // gone meanwhile
    if (call.isError() || values.size() < 10) {
        m_items.erase(found); // its place is free for the next announcement
        return;
    }
    const Announcement txt = Announcement::FromTxt(qdbus_cast<QList<QByteArray>>(values[9]));
    QHostAddress address(values[7].toString());
    const QString name = CleanServiceName(found->name);
    if (address.isNull() || name.isEmpty() || (!m_ownId.isEmpty() && txt.id == m_ownId)) {
        m_items.erase(found);
        return;
    }
    if (address.isLinkLocal() && address.protocol() == QAbstractSocket::IPv6Protocol)
        address.setScopeId(QNetworkInterface::interfaceNameFromIndex(found->interface));
    if (txt.sealed && !txt.id.isEmpty() && m_sealedIds.size() < 4 * MaxPeers)
        m_sealedIds.insert(txt.id);
    found->peer = Peer{name, address.toString(), values[8].value<quint16>(), txt.sealed, txt.id};
    found->resolved = true;
    Changed();
}

QList<Peer> PeerBrowser::Peers() const
{
    // One entry per peer: by its id, else by its name; IPv4 preferred over IPv6.
    QHash<QString, Peer> byPeer;
    for (const Item &item : m_items) {
        if (!item.resolved)
            continue;
        Peer peer = item.peer;
        peer.sealed = peer.sealed || m_sealedIds.contains(peer.id);
        const QString key = peer.id.isEmpty() ? u'n' + peer.name : u'i' + QString::fromLatin1(peer.id);
        const auto kept = byPeer.constFind(key);
        const auto rank = [](const Peer &p) { return std::make_pair(p.host.contains(u':'), p.name); };
        if (kept == byPeer.constEnd() || rank(peer) < rank(*kept))
            byPeer.insert(key, peer);
    }
    QList<Peer> peers = byPeer.values();
    std::sort(peers.begin(), peers.end(), [](const Peer &a, const Peer &b) {
        return a.name.localeAwareCompare(b.name) < 0 || (a.name == b.name && a.host < b.host);
    });
    return peers;
}

void PeerBrowser::Changed()
{
    // A burst of records makes one change.
    if (m_changePending)
        return;
    m_changePending = true;
    QTimer::singleShot(0, this, [this] {
        m_changePending = false;
        emit PeersChanged();
    });
}

void PeerBrowser::CheckSettled()
{
    if (Settled())
        emit SettledDown();
}

void PeerBrowser::Clear()
{
    ++m_generation;
    m_allForNow = false;
    m_resolving = 0;
    m_waiting.clear();
    if (m_browser) {
        m_browser->disconnect(this);
        m_browser->deleteLater();
        m_browser = nullptr;
    }
    if (!m_items.isEmpty()) {
        m_items.clear();
        Changed();
    }
}

void PeerBrowser::Fail(const QString &why)
{
    m_error = why;
    emit Failed(why);
}
