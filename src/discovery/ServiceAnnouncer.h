#pragma once

#include "discovery/Announcement.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

class OrgFreedesktopAvahiServer2Interface;
class OrgFreedesktopAvahiEntryGroupInterface;

// Announces this copy's receiver as a _textdrop._tcp service through the Avahi daemon. On a
// name taken by another computer it takes the name Avahi offers ("desk-3 #2"); when Avahi
// restarts it announces again. Without Avahi nothing else is affected: Failed says why.
class ServiceAnnouncer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxRenames = 20; // a daemon that collides forever is given up on

    explicit ServiceAnnouncer(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ServiceAnnouncer() override;

    // name: cleaned and cut to 63 bytes; sealed: a hint that a password is set.
    void Announce(const QString &name, quint16 port, bool sealed);
    void Withdraw();
    // Announces under another name, when announcing at all.
    void ChangeName(const QString &name);

    bool IsPublished() const { return m_published; }
    QString PublishedName() const { return m_name; }
    QByteArray InstanceId() const { return m_txt.id; }
    QString errorString() const { return m_error; }

signals:
    void Published(const QString &name);
    void Failed(const QString &why);

private:
    void CreateGroup();
    void AddService();
    void Rename();
    void OnStateChanged(int state, const QString &error);
    void Fail(const QString &why);
    void DropGroup();

    QDBusConnection m_bus;
    OrgFreedesktopAvahiServer2Interface *m_server;
    OrgFreedesktopAvahiEntryGroupInterface *m_group = nullptr;
    QDBusServiceWatcher m_watcher;
    Announcement m_txt;
    QString m_name;
    quint16 m_port = 0;
    bool m_wanted = false;
    bool m_published = false;
    int m_renames = 0;
    int m_generation = 0; // replies to an earlier attempt are ignored
    QString m_error;
};
