#include "core/CTimer.h"

#include <QElapsedTimer>
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

    // Enabling an enabled timer keeps its period; a new interval waits for the next start.
    void periodKeptUntilRestarted()
    {
        CTimer timer;
        QSignalSpy ticks(&timer, &CTimer::Timer);
        timer.SetInterval(300);
        QElapsedTimer clock;
        clock.start();
        timer.SetEnabled(true);
        QTimer::singleShot(150, &timer, [&timer] {
            timer.SetEnabled(true);
            timer.SetInterval(1000);
        });
        QVERIFY(ticks.wait(2000));
        QVERIFY2(clock.elapsed() < 420, "the second enable or the new interval changed the running period");
        timer.SetEnabled(false);
        timer.SetEnabled(true);
        clock.restart();
        QVERIFY(ticks.wait(3000));
        QVERIFY2(clock.elapsed() >= 950, "the restart did not take the new period");
    }
};

QTEST_GUILESS_MAIN(tst_CTimer)
#include "tst_CTimer.moc"
