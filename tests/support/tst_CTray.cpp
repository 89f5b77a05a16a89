#include "support/CTray.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

QIcon Picture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::blue);
    return QIcon(pixmap);
}

QSystemTrayIcon *IconOf(CTray &tray)
{
    return tray.findChild<QSystemTrayIcon *>();
}

} // namespace

class tst_CTray : public QObject
{
    Q_OBJECT

private slots:
    void tipText_data();
    void tipText();
    void showIconNeedsPicture();
    void activationRaisesOneEvent_data();
    void activationRaisesOneEvent();
    void actionsDuringHandlerDropped();
};

void tst_CTray::tipText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");

    QTest::newRow("63 characters whole") << QString(63, u'a') << QString(63, u'a');
    QTest::newRow("64 characters cut to 63") << QString(63, u'a') + u'b' << QString(63, u'a');
}

void tst_CTray::tipText()
{
    QFETCH(QString, text);
    CTray tray;
    tray.SetTipText(text);
    QTEST(tray.TipText(), "kept");
}

void tst_CTray::showIconNeedsPicture()
{
    CTray tray;
    QVERIFY(!tray.ShowIcon());
    QVERIFY(!IconOf(tray)->isVisible());
    tray.SetPicBox(Picture());
    QVERIFY(tray.ShowIcon());
    QVERIFY(IconOf(tray)->isVisible());
    tray.DeleteIcon();
    QVERIFY(!IconOf(tray)->isVisible());
}

void tst_CTray::activationRaisesOneEvent_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<int>("leftUp");
    QTest::addColumn<int>("leftDouble");
    QTest::addColumn<int>("rightUp");

    QTest::newRow("left click") << QSystemTrayIcon::Trigger << 1 << 0 << 0;
    QTest::newRow("left double-click") << QSystemTrayIcon::DoubleClick << 0 << 1 << 0;
    QTest::newRow("right button") << QSystemTrayIcon::Context << 0 << 0 << 1;
    QTest::newRow("middle button raises nothing") << QSystemTrayIcon::MiddleClick << 0 << 0 << 0;
}

void tst_CTray::activationRaisesOneEvent()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    CTray tray;
    QSignalSpy leftUp(&tray, &CTray::LButtonUp);
    QSignalSpy leftDouble(&tray, &CTray::LButtonDblClick);
    QSignalSpy rightUp(&tray, &CTray::RButtonUp);
    emit IconOf(tray)->activated(reason);
    QTEST(int(leftUp.count()), "leftUp");
    QTEST(int(leftDouble.count()), "leftDouble");
    QTEST(int(rightUp.count()), "rightUp");
}

void tst_CTray::actionsDuringHandlerDropped()
{
    CTray tray;
    QSystemTrayIcon *icon = IconOf(tray);
    int rightUps = 0;
    int leftDoubles = 0;
    connect(&tray, &CTray::LButtonDblClick, this, [&] { ++leftDoubles; });
    connect(&tray, &CTray::RButtonUp, this, [&] {
        ++rightUps;
        // As if the user clicked again while the menu of the first click is open.
        emit icon->activated(QSystemTrayIcon::Context);
        emit icon->activated(QSystemTrayIcon::DoubleClick);
    });

    emit icon->activated(QSystemTrayIcon::Context);
    QCOMPARE(rightUps, 1);
    QCOMPARE(leftDoubles, 0);

    // Once the handler has returned, the icon answers again.
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(leftDoubles, 1);
}

QTEST_MAIN(tst_CTray)
#include "tst_CTray.moc"
