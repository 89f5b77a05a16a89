#include "discovery/Announcement.h"
#include "discovery/LocalAddresses.h"
#include "discovery/TypedAddress.h"

#include <QTest>

class tst_TypedAddress : public QObject
{
    Q_OBJECT

private slots:
    void parses_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("name") << " desk-3 " << "desk-3" << 30666;
        QTest::newRow("name:port") << "desk-3:8080" << "desk-3" << 8080;
        QTest::newRow("bare ipv6") << "fe80::1%eth0" << "fe80::1%eth0" << 30666;
        QTest::newRow("[ipv6]:port") << "[::1]:5000" << "::1" << 5000;
        QTest::newRow("port 0") << "desk:0" << "" << 0;
        QTest::newRow("signed port") << "desk:+80" << "" << 0;
        QTest::newRow("no host") << ":80" << "" << 0;
        QTest::newRow("ipv6 unbracketed port") << "fe80::1:x" << "" << 0;
        QTest::newRow("bracket not ipv6") << "[desk]:80" << "" << 0;
        QTest::newRow("junk after bracket") << "[::1]80" << "" << 0;
        QTest::newRow("empty") << "  " << "" << 0;
    }
    void parses()
    {
        QFETCH(QString, typed);
        QFETCH(QString, host);
        TypedAddress address;
        QCOMPARE(address.Parse(typed, 30666), !host.isEmpty());
        QCOMPARE(address.Host(), host);
        QTEST(address.Port(), "port");
        QCOMPARE(address.errorString().isEmpty(), !host.isEmpty());
    }

    void cleansNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("clean");
        QTest::newRow("controls and bidi") << QString("de\x1b[2Jsk\u202E-3\n") << "de[2Jsk-3";
        QTest::newRow("64 bytes") << QString(64, u'x') << QString(63, u'x');
        QTest::newRow("cut between characters") << QString(31, u'\u00e9') + "xx" << QString(31, u'\u00e9') + "x";
        QTest::newRow("only controls") << "\t\r\n" << "";
    }
    void cleansNames()
    {
        QFETCH(QString, name);
        QTEST(CleanServiceName(name), "clean");
    }

    void skipsVirtualInterfaces()
    {
        for (const char *name : {"docker0", "virbr0", "veth12ab", "vboxnet0", "vmnet8"})
            QVERIFY2(IsVirtualInterface(QString::fromLatin1(name)), name);
        for (const char *name : {"eth0", "wlp2s0", "enp0s31f6"})
            QVERIFY2(!IsVirtualInterface(QString::fromLatin1(name)), name);
        QCOMPARE(WithPort("fe80::1%eth0", 30666), "[fe80::1%eth0]:30666");
    }
};

QTEST_GUILESS_MAIN(tst_TypedAddress)
#include "tst_TypedAddress.moc"
