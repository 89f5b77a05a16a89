#include "support/TCPTable.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Heading =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

// One table row as a little-endian kernel prints it: the address's bytes read as one number.
QByteArray Row(int n, const char *localHex, const char *remoteHex = "00000000:0000")
{
    return QByteArray::number(n).rightJustified(4) + ": " + localHex + ' ' + remoteHex
           + " 01 00000000:00000000 00:00000000 00000000  1000        0 4242 1 0000000000000000 20 4 30 10 -1\n";
}

} // namespace

class tst_TCPTable : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void bigEndianKernel();
    void readsTheSystemTableInItsByteOrder();
    void tableAddressesComeBeforeInterfaceAddresses();
    void missingTableStillListsInterfaces();
};

void tst_TCPTable::parse_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("wildcard, loopback and two connections from one LAN address")
        << Heading + Row(0, "00000000:77EA") + Row(1, "0100007F:0277") + Row(2, "0700A8C0:C350", "0800A8C0:01BB")
               + Row(3, "0700A8C0:C351", "0900A8C0:01BB")
        << QStringList{"192.168.0.7"};
    QTest::newRow("order of first rows; a later duplicate does not move")
        << Heading + Row(0, "0302010A:0016") + Row(1, "0700A8C0:C350") + Row(2, "0302010A:0017")
        << QStringList{"10.1.2.3", "192.168.0.7"};
    QTest::newRow("only loopback and wildcard") << Heading + Row(0, "00000000:77EA") + Row(1, "0100007F:0277")
                                                << QStringList{};
    QTest::newRow("other loopback addresses are not the loopback text")
        << Heading + Row(0, "0101007F:0035") << QStringList{"127.0.1.1"};
    QTest::newRow("heading only") << Heading << QStringList{};
    QTest::newRow("empty") << QByteArray() << QStringList{};
    QTest::newRow("last row cut short") << Heading + Row(0, "0302010A:0016") + "   1: 0700A8" << QStringList{"10.1.2.3"};
    QTest::newRow("no final line end") << Heading + Row(0, "0302010A:0016").chopped(1) << QStringList{"10.1.2.3"};
    QTest::newRow("address field not hexadecimal") << Heading + Row(0, "0302G10A:0016") << QStringList{};
}

void tst_TCPTable::parse()
{
    QFETCH(QByteArray, table);
    QFETCH(QStringList, addresses);
    QCOMPARE(ParseTcpTable(table, QSysInfo::LittleEndian), addresses);
}

void tst_TCPTable::bigEndianKernel()
{
    QCOMPARE(ParseTcpTable(Heading + Row(0, "C0A80007:C350"), QSysInfo::BigEndian), QStringList{"192.168.0.7"});
}

void tst_TCPTable::readsTheSystemTableInItsByteOrder()
{
    if (!QFile::exists(QString::fromLatin1(SystemTcpTable)))
        QSKIP("this system has no TCP table file");
    // Any 127/8 address can be bound on Linux, and only 127.0.0.1 is left out of the list.
    QTcpServer server;
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0))
        QSKIP("cannot listen on 127.0.0.2 here");
    QFile table(QString::fromLatin1(SystemTcpTable));
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QStringList addresses = ParseTcpTable(table.readAll());
    QVERIFY2(addresses.contains("127.0.0.2"), qPrintable(addresses.join(' ')));
    QVERIFY(!addresses.contains("127.0.0.1"));
    QVERIFY(!addresses.contains("0.0.0.0"));
}

void tst_TCPTable::tableAddressesComeBeforeInterfaceAddresses()
{
    const QStringList interfaces = InterfaceAddresses();
    for (const QString &address : interfaces)
        QVERIFY(QHostAddress(address).protocol() == QAbstractSocket::IPv4Protocol && !QHostAddress(address).isLoopback());

    // The table names an address no interface has, then (when there is one) an interface's
    // address, which must then not come again among the interface addresses.
    QByteArray table = Heading + Row(0, "0302010A:0016");
    QStringList expected{"10.1.2.3"};
    if (!interfaces.isEmpty()) {
        const quint32 ip = QHostAddress(interfaces.last()).toIPv4Address();
        const quint32 asPrinted = (ip >> 24) | ((ip >> 8) & 0xFF00) | ((ip << 8) & 0xFF0000) | (ip << 24);
        table += Row(1, QByteArray::number(asPrinted, 16).toUpper().rightJustified(8, '0').append(":C350").constData());
        expected.append(interfaces.last());
    }
    for (const QString &address : interfaces) {
        if (!expected.contains(address))
            expected.append(address);
    }

    QTemporaryDir dir;
    QFile file(dir.filePath("tcp"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(table);
    file.close();

    const LocalAddresses first = FillIPList(file.fileName());
    QVERIFY(first.TableSupported);
    QCOMPARE(first.IPList, expected);
    QCOMPARE(FillIPList(file.fileName()).IPList, expected); // a second call is not a doubled list
}

void tst_TCPTable::missingTableStillListsInterfaces()
{
    QTemporaryDir dir;
    const LocalAddresses result = FillIPList(dir.filePath("no-such-table"));
    QVERIFY(!result.TableSupported);
    QCOMPARE(result.IPList, InterfaceAddresses());
}

QTEST_GUILESS_MAIN(tst_TCPTable)
#include "tst_TCPTable.moc"
