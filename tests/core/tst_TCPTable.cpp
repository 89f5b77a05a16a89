#include "core/TCPTable.h"

#include <QTest>

const QByteArray Heading = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n";

// One table row; a little-endian kernel prints the address's four bytes read as one number.
static QByteArray Row(int n, const QByteArray &local)
{
    return QByteArray::number(n).rightJustified(4) + ": " + local + " 0800A8C0:01BB 01 00000000:00000000 00 1000\n";
}

class tst_TCPTable : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QSysInfo::Endian>("order");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("wildcard and loopback left out; first order kept; a repeat does not move")
            << Heading + Row(0, "00000000:77EA") + Row(1, "0100007F:0277") + Row(2, "0302010A:0016")
                   + Row(3, "0700A8C0:C350") + Row(4, "0302010A:0017")
            << QSysInfo::LittleEndian << QStringList{"10.1.2.3", "192.168.0.7"};
        QTest::newRow("big-endian kernel") << Heading + Row(0, "C0A80007:C350") << QSysInfo::BigEndian
                                           << QStringList{"192.168.0.7"};
        QTest::newRow("address field not eight hex digits, last row cut short")
            << Heading + Row(0, "0x03010A:0016") + Row(1, "0302010A:0016") + "   2: 0700A8"
            << QSysInfo::LittleEndian << QStringList{"10.1.2.3"};
    }
    void parse()
    {
        QFETCH(QByteArray, table);
        QFETCH(QSysInfo::Endian, order);
        QTEST(ParseTcpTable(table, order), "addresses");
    }
};

QTEST_GUILESS_MAIN(tst_TCPTable)
#include "tst_TCPTable.moc"
