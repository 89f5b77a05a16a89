// Discovery against a stand-in Avahi daemon on a private bus that the test starts itself.
#include "PrivateBus.h"
#include "discovery/Announcement.h"
#include "discovery/AvahiBus.h"
#include "discovery/PeerBrowser.h"
#include "discovery/ServiceAnnouncer.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Record
{
    QString address;
    quint16 port = 0;
    QList<QByteArray> txt;
};

// Answers the calls discovery makes, the way avahi-daemon does, and records what was added.
class StandInAvahi : public QDBusVirtualObject
{
public:
    QSet<QString> taken;            // names AddService refuses with a collision
    QHash<QString, Record> records; // what ResolveService answers, by name
    QString addedName, addedType, addedSignature;
    quint16 addedPort = 0;
    QList<QByteArray> addedTxt;
    QString group, browser; // browser: started

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        const QString member = call.member();
        const QList<QVariant> in = call.arguments();
        QList<QVariant> out;
        if (member == "EntryGroupNew") {
            group = "/Client1/EntryGroup" + QString::number(++m_paths);
            out << QVariant::fromValue(QDBusObjectPath(group));
        } else if (member == "ServiceBrowserPrepare") {
            out << QVariant::fromValue(QDBusObjectPath("/Client1/ServiceBrowser" + QString::number(++m_paths)));
        } else if (member == "Start") {
            browser = call.path(); // records may be sent from now on
        } else if (member == "GetAlternativeServiceName") {
            out << in[0].toString() + " #2";
        } else if (member == "AddService") {
            addedName = in[3].toString();
            addedType = in[4].toString();
            addedPort = in[7].value<quint16>();
            addedTxt = qdbus_cast<QList<QByteArray>>(in[8]);
            addedSignature = call.signature();
            if (taken.contains(addedName))
                return bus.send(call.createErrorReply("org.freedesktop.Avahi.CollisionError", "Local name collision"));
        } else if (member == "Commit") {
            Emit(bus, group, "EntryGroup", "StateChanged", {Avahi::Established, QString()});
        } else if (member == "ResolveService") {
            const auto found = records.constFind(in[2].toString());
            if (found == records.constEnd())
                return bus.send(call.createErrorReply("org.freedesktop.Avahi.TimeoutError", "Timeout reached"));
            out << in[0] << in[1] << in[2] << in[3] << in[4] << QString("host.local") << in[1] << found->address
                << QVariant::fromValue(found->port) << QVariant::fromValue(found->txt) << 0u;
        }
        return bus.send(call.createReply(out));
    }
    static void Emit(const QDBusConnection &bus, const QString &path, const char *interface, const char *name,
                     const QList<QVariant> &args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, "org.freedesktop.Avahi." + QString(interface), name);
        signal.setArguments(args);
        bus.send(signal);
    }

private:
    int m_paths = 0;
};

QList<QVariant> Item(const QString &name)
{
    return {QNetworkInterface::interfaceIndexFromName("lo"), 0, name, Avahi::ServiceType, QString("local"), 0u};
}

QString Labels(const QList<Peer> &peers)
{
    QStringList labels;
    for (const Peer &peer : peers)
        labels << peer.Label() + (peer.sealed ? " sealed" : "") + " " + peer.Target().section(':', -1);
    return labels.join(", ");
}

} // namespace

class tst_Discovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Avahi::RegisterTypes();
        QVERIFY2(!m_private.address.isEmpty(), "dbus-daemon (Debian's dbus package) is needed");
    }
    void init()
    {
        static int round = 0;
        m_avahi = std::make_unique<StandInAvahi>();
        m_avahiBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_private.address, "avahi" + QString::number(++round)));
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_private.address, "client" + QString::number(round)));
        QVERIFY(m_avahiBus->registerVirtualObject("/", m_avahi.get(), QDBusConnection::SubPath));
    }
    void cleanup()
    {
        const QString names[] = {m_avahiBus->name(), m_bus->name()};
        m_avahiBus->unregisterService(Avahi::Service);
        m_avahiBus->unregisterObject("/", QDBusConnection::UnregisterTree);
        m_avahiBus.reset(); // the last references, so that the connections close
        m_bus.reset();
        for (const QString &name : names)
            QDBusConnection::disconnectFromBus(name);
    }

    void announces_data()
    {
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("collisionLater");
        QTest::addColumn<QString>("published");
        QTest::newRow("free name") << false << false << "desk-3";
        QTest::newRow("name taken here") << true << false << "desk-3 #2";
        QTest::newRow("collision on the network") << false << true << "desk-3 #2";
    }
    void announces()
    {
        QFETCH(bool, taken);
        QFETCH(bool, collisionLater);
        QFETCH(QString, published);
        if (taken)
            m_avahi->taken << "desk-3";
        QVERIFY(m_avahiBus->registerService(Avahi::Service));
        ServiceAnnouncer announcer(*m_bus);
        QSignalSpy spy(&announcer, &ServiceAnnouncer::Published);
        announcer.Announce("desk-3\n", 30666, true);
        QTRY_COMPARE(spy.size(), 1);
        if (collisionLater) {
            StandInAvahi::Emit(*m_avahiBus, m_avahi->group, "EntryGroup", "StateChanged", {Avahi::Collision, QString()});
            QTRY_COMPARE(spy.size(), 2);
        }
        QCOMPARE(announcer.PublishedName(), published);
        QCOMPARE(m_avahi->addedName, published);
        QCOMPARE(m_avahi->addedType, "_textdrop._tcp");
        QCOMPARE(m_avahi->addedSignature, "iiussssqaay");
        QCOMPARE(m_avahi->addedPort, 30666);
        QCOMPARE(m_avahi->addedTxt, (QList<QByteArray>{"v=1", "id=" + announcer.InstanceId(), "sealed=1"}));
    }

    // Without Avahi everything says why; when it comes (back), announcing and browsing resume.
    void waitsForAvahi()
    {
        ServiceAnnouncer announcer(*m_bus);
        PeerBrowser browser(*m_bus);
        QSignalSpy failed(&announcer, &ServiceAnnouncer::Failed);
        QSignalSpy browseFailed(&browser, &PeerBrowser::Failed);
        QSignalSpy published(&announcer, &ServiceAnnouncer::Published);
        announcer.Announce("desk-3", 30666, false);
        browser.Start();
        QTRY_COMPARE(failed.size(), 1);
        QTRY_COMPARE(browseFailed.size(), 1);
        QVERIFY2(announcer.errorString().contains("not running"), qPrintable(announcer.errorString()));
        QVERIFY(browser.errorString().contains("not running"));
        QVERIFY(m_avahiBus->registerService(Avahi::Service));
        QTRY_COMPARE(published.size(), 1);
        QTRY_VERIFY(!m_avahi->browser.isEmpty());
        QVERIFY(m_avahi->addedTxt.contains("sealed=0"));
        // Avahi restarting takes our records along; they are made again.
        m_avahiBus->unregisterService(Avahi::Service);
        QTRY_COMPARE(failed.size(), 2);
        QVERIFY(m_avahiBus->registerService(Avahi::Service));
        QTRY_COMPARE(published.size(), 2);
    }

    void browses_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("afterFirstLeft");
        const QString zed = "zed \u2014 127.0.0.2 30666";
        QTest::newRow("two peers by name") << QStringList{"desk-3", "zed"} << "desk-3 \u2014 127.0.0.2 sealed 30666, " + zed
                                           << zed;
        QTest::newRow("64 KiB name ignored") << QStringList{QString(65536, u'x'), "zed"} << zed << zed;
        QTest::newRow("ourselves skipped") << QStringList{"self", "zed"} << zed << zed;
        QTest::newRow("link-local with its scope") << QStringList{"v6", "zed"} << "v6 \u2014 fe80::1%lo 30666, " + zed << zed;
        QTest::newRow("sealed once stays sealed") << QStringList{"desk-3", "desk-3 again"}
                                                  << "desk-3 \u2014 127.0.0.2 sealed 30666"
                                                  << "desk-3 again \u2014 127.0.0.2 sealed 30666";
        QStringList flood, kept; // one more than the bound
        for (int k = 0; k <= PeerBrowser::MaxPeers; ++k)
            flood << QString::asprintf("p%03d", k);
        for (const QString &name : flood.mid(0, PeerBrowser::MaxPeers))
            kept << name + " \u2014 127.0.0.2 30666";
        QTest::newRow("flood: at most 256 kept") << flood << kept.join(", ") << kept.mid(1).join(", ");
    }
    void browses()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, afterFirstLeft);
        for (const QString &name : names) // plain, each with an id of its own
            m_avahi->records[name] = Record{"127.0.0.2", 30666, {"id=" + QByteArray::number(qHash(name) | 1ULL << 63, 16)}};
        m_avahi->records["desk-3"].txt = {"v=1", "id=00000000000000aa", "sealed=1"};
        m_avahi->records["desk-3 again"].txt = {"v=1", "id=00000000000000aa", "sealed=0"};
        m_avahi->records["self"].txt = {"id=00000000000000ff"};
        m_avahi->records["v6"].address = "fe80::1";
        QVERIFY(m_avahiBus->registerService(Avahi::Service));
        PeerBrowser browser(*m_bus);
        browser.SkipId("00000000000000ff");
        QSignalSpy settled(&browser, &PeerBrowser::SettledDown);
        browser.Start();
        QTRY_VERIFY(!m_avahi->browser.isEmpty());
        for (const QString &name : names)
            StandInAvahi::Emit(*m_avahiBus, m_avahi->browser, "ServiceBrowser", "ItemNew", Item(name));
        StandInAvahi::Emit(*m_avahiBus, m_avahi->browser, "ServiceBrowser", "AllForNow", {});
        QTRY_VERIFY(settled.size() > 0 && browser.Settled());
        QTEST(Labels(browser.Peers()), "shown");
        // Gone from the network, gone from the list.
        StandInAvahi::Emit(*m_avahiBus, m_avahi->browser, "ServiceBrowser", "ItemRemove", Item(names[0]));
        QTRY_COMPARE(Labels(browser.Peers()), afterFirstLeft);
        for (const QString &name : names)
            StandInAvahi::Emit(*m_avahiBus, m_avahi->browser, "ServiceBrowser", "ItemRemove", Item(name));
        QTRY_COMPARE(Labels(browser.Peers()), QString());
    }

private:
    PrivateBus m_private;
    std::unique_ptr<StandInAvahi> m_avahi;
    std::unique_ptr<QDBusConnection> m_avahiBus, m_bus;
};

QTEST_GUILESS_MAIN(tst_Discovery)
#include "tst_Discovery.moc"
