#include "windows/frmIPAddress.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

class tst_frmIPAddress : public QObject
{
    Q_OBJECT

private slots:
    void select_data();
    void select();
};

void tst_frmIPAddress::select_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("clickedRow"); // -1: the list is not touched
    QTest::addColumn<QString>("selected");

    const QStringList three{"192.168.0.7", "10.0.0.5", "172.16.1.1"};
    QTest::newRow("untouched list takes the first line") << three << -1 << "192.168.0.7";
    QTest::newRow("second line chosen") << three << 1 << "10.0.0.5";
    QTest::newRow("empty list gives an empty address") << QStringList{} << -1 << "";
}

void tst_frmIPAddress::select()
{
    QFETCH(QStringList, addresses);
    QFETCH(int, clickedRow);
    QFETCH(QString, selected);

    frmIPAddress window(addresses);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *list = window.findChild<QListWidget *>("ListView1");
    QCOMPARE(list->count(), addresses.size());
    for (int i = 0; i < addresses.size(); ++i)
        QCOMPARE(list->item(i)->text(), addresses[i]);
    QCOMPARE(list->selectedItems().size(), addresses.isEmpty() ? 0 : 1);

    if (clickedRow >= 0) {
        const QRect row = list->visualItemRect(list->item(clickedRow));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    }
    QTest::mouseClick(window.findChild<QPushButton *>("cmdSelect"), Qt::LeftButton);

    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(window.SelectedAddress(), selected);
}

QTEST_MAIN(tst_frmIPAddress)
#include "tst_frmIPAddress.moc"
