#include "core/CTimer.h"

#include <QSignalSpy>
#include <QTest>

class tst_CTimer : public QObject
{
    Q_OBJECT

private slots:
    void ticksUntilDisabled()
    {
        CTimer timer;
        QSignalSpy ticks(&timer, &CTimer::Timer);
        timer.SetInterval(10);
        timer.SetEnabled(true);
        QTRY_VERIFY(ticks.count() >= 3);
        timer.SetEnabled(false);
        const auto seen = ticks.count();
        bool later = false; // something known to come after several periods
        QTimer::singleShot(60, &timer, [&later] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(ticks.count(), seen);
    }
};

QTEST_GUILESS_MAIN(tst_CTimer)
#include "tst_CTimer.moc"
