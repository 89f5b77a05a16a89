#include "discovery/ServiceAnnouncer.h"

#include "AvahiEntryGroup.h"
#include "AvahiServer.h"
#include "discovery/AvahiBus.h"

ServiceAnnouncer::ServiceAnnouncer(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_server(new OrgFreedesktopAvahiServer2Interface(Avahi::Service, QStringLiteral("/"), bus, this))
    , m_watcher(Avahi::Service, bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    Avahi::RegisterTypes();
    m_txt.id = Announcement::NewId();
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                // Avahi went away with our records, or came back without them.
                DropGroup();
                if (!m_wanted)
                    return;
                if (owner.isEmpty())
                    Fail(QStringLiteral("the Avahi daemon stopped"));
                else
                    CreateGroup();
            });
}

ServiceAnnouncer::~ServiceAnnouncer()
{
    DropGroup();
}

void ServiceAnnouncer::Announce(const QString &name, quint16 port, bool sealed)
{
    DropGroup();
    m_wanted = true;
    m_name = CleanServiceName(name);
    m_port = port;
    m_txt.sealed = sealed;
    m_renames = 0;
    if (m_name.isEmpty())
        return Fail(QStringLiteral("the computer's name is empty"));
    if (!m_bus.isConnected())
        return Fail(QStringLiteral("the system's message bus (D-Bus) is not reachable"));
    CreateGroup();
}

void ServiceAnnouncer::Withdraw()
{
    m_wanted = false;
    DropGroup();
}

void ServiceAnnouncer::ChangeName(const QString &name)
{
    if (m_wanted && CleanServiceName(name) != m_name)
        Announce(name, m_port, m_txt.sealed);
}

void ServiceAnnouncer::CreateGroup()
{
    const int generation = ++m_generation;
    Avahi::OnReply(m_server->EntryGroupNew(), this, [this, generation](QDBusPendingCallWatcher &call) {
        const QDBusPendingReply<QDBusObjectPath> reply = call;
        if (generation != m_generation)
            return;
        if (reply.isError())
            return Fail(Avahi::Explain(reply.error()));
        m_group = new OrgFreedesktopAvahiEntryGroupInterface(Avahi::Service, reply.value().path(), m_bus, this);
        connect(m_group, &OrgFreedesktopAvahiEntryGroupInterface::StateChanged, this,
                &ServiceAnnouncer::OnStateChanged);
        AddService();
    });
}

void ServiceAnnouncer::AddService()
{
    const int generation = m_generation;
    const auto call = m_group->AddService(Avahi::InterfaceAny, Avahi::ProtocolAny, 0, m_name, Avahi::ServiceType,
                                          QString(), QString(), m_port, m_txt.Txt());
    Avahi::OnReply(call, this, [this, generation](QDBusPendingCallWatcher &done) {
        const QDBusPendingReply<> reply = done;
        if (generation != m_generation || !m_group)
            return;
        if (reply.isError()) {
            if (reply.error().name() == QLatin1String("org.freedesktop.Avahi.CollisionError"))
                return Rename();
            return Fail(Avahi::Explain(reply.error()));
        }
        m_group->Commit();
    });
}

void ServiceAnnouncer::Rename()
{
    if (++m_renames > MaxRenames)
        return Fail(QStringLiteral("every name tried is taken on the network"));
    const int generation = m_generation;
    Avahi::OnReply(m_server->GetAlternativeServiceName(m_name), this, [this, generation](QDBusPendingCallWatcher &call) {
        const QDBusPendingReply<QString> reply = call;
        if (generation != m_generation || !m_group)
            return;
        const QString alternative = reply.isError() ? QString() : CleanServiceName(reply.value());
        if (alternative.isEmpty() || alternative == m_name)
            return Fail(QStringLiteral("the name %1 is taken on the network").arg(m_name));
        m_name = alternative;
        m_group->Reset();
        AddService();
    });
}

void ServiceAnnouncer::OnStateChanged(int state, const QString &error)
{
    if (state == Avahi::Established) {
        m_published = true;
        m_error.clear();
        emit Published(m_name);
    } else if (state == Avahi::Collision) {
        m_published = false;
        Rename();
    } else if (state == Avahi::Failure) {
        Fail(QStringLiteral("Avahi could not announce this computer: %1").arg(error.left(200)));
    }
}

void ServiceAnnouncer::Fail(const QString &why)
{
    DropGroup();
    m_error = why;
    emit Failed(why);
}

void ServiceAnnouncer::DropGroup()
{
    ++m_generation;
    m_published = false;
    if (!m_group)
        return;
    m_group->Free(); // the reply does not matter: Avahi also frees it when we leave the bus
    // Later: this may run inside the group's own StateChanged.
    m_group->disconnect(this);
    m_group->deleteLater();
    m_group = nullptr;
}
