#include "core/CTimer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

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

    void enablingTwiceDoesNotRestartThePeriod()
    {
        CTimer timer;
        QSignalSpy ticks(&timer, &CTimer::Timer);
        timer.SetInterval(300);
        QElapsedTimer clock;
        clock.start();
        timer.SetEnabled(true);
        QTimer::singleShot(150, &timer, [&timer] { timer.SetEnabled(true); });
        QVERIFY(ticks.wait(2000));
        QVERIFY2(clock.elapsed() < 420, "the second enable restarted the period");
    }

    void newIntervalAppliesAtTheNextStart()
    {
        CTimer timer;
        QSignalSpy ticks(&timer, &CTimer::Timer);
        timer.SetInterval(20);
        timer.SetEnabled(true);
        timer.SetInterval(400);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(ticks.wait(2000));
        QVERIFY2(clock.elapsed() < 300, "the running period changed before a restart");
        timer.SetEnabled(false);
        timer.SetEnabled(true);
        clock.restart();
        QVERIFY(ticks.wait(2000));
        QVERIFY2(clock.elapsed() >= 350, "the restart did not take the new period");
    }

    void failingHandlerStillGetsTheNextTick()
    {
        CTimer timer;
        int calls = 0;
        connect(&timer, &CTimer::Timer, &timer, [&calls] {
            if (++calls == 1)
                throw std::runtime_error("handler failed");
        });
        timer.SetInterval(5);
        timer.SetEnabled(true);
        QTRY_VERIFY(calls >= 2);
    }
};

QTEST_GUILESS_MAIN(tst_CTimer)
#include "tst_CTimer.moc"
