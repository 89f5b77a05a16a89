#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyRefused();
    void refusedCopyAsksRunningOneToShow();
    void oldLockOfRunningCopyStillHolds();
    void lockOfCrashedCopyTakenOver();
    void askWithNobodyListeningFinishes();
    void lockFreedWhenRunningCopyEnds();
};

void tst_SingleInstance::secondCopyRefused()
{
    QTemporaryDir folder;
    SingleInstance first(folder.path());
    SingleInstance second(folder.path());
    QVERIFY(first.Acquire());
    QVERIFY(!second.Acquire());
}

void tst_SingleInstance::refusedCopyAsksRunningOneToShow()
{
    QTemporaryDir folder;
    SingleInstance running(folder.path());
    SingleInstance refused(folder.path());
    QVERIFY(running.Acquire());
    QVERIFY(!refused.Acquire());

    QSignalSpy shown(&running, &SingleInstance::ShowRequested);
    QSignalSpy finished(&refused, &SingleInstance::Finished);
    refused.AskRunningCopyToShow();
    QVERIFY(shown.wait());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(shown.count(), 1);
}

void tst_SingleInstance::oldLockOfRunningCopyStillHolds()
{
    QTemporaryDir folder;
    SingleInstance running(folder.path());
    QVERIFY(running.Acquire());

    // A copy that has run for an hour: its lock must not count as stale for its age.
    QFile lock(QDir(folder.path()).filePath(QStringLiteral("Textdrop.lock")));
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    lock.close();

    SingleInstance later(folder.path());
    QVERIFY(!later.Acquire());
}

void tst_SingleInstance::lockOfCrashedCopyTakenOver()
{
    QTemporaryDir folder;
    // The lock a killed copy leaves behind: its process is gone.
    QFile lock(QDir(folder.path()).filePath(QStringLiteral("Textdrop.lock")));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("2147483000\ntextdrop\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();

    SingleInstance next(folder.path());
    QVERIFY(next.Acquire());
}

void tst_SingleInstance::askWithNobodyListeningFinishes()
{
    QTemporaryDir folder;
    SingleInstance refused(folder.path());
    QSignalSpy finished(&refused, &SingleInstance::Finished);
    refused.AskRunningCopyToShow();
    QVERIFY(finished.count() == 1 || finished.wait());
    QCOMPARE(finished.count(), 1);
}

void tst_SingleInstance::lockFreedWhenRunningCopyEnds()
{
    QTemporaryDir folder;
    {
        SingleInstance running(folder.path());
        QVERIFY(running.Acquire());
    }
    SingleInstance next(folder.path());
    QVERIFY(next.Acquire());
    // The new holder answers requests on the socket the old one left.
    SingleInstance refused(folder.path());
    QSignalSpy shown(&next, &SingleInstance::ShowRequested);
    refused.AskRunningCopyToShow();
    QVERIFY(shown.wait());
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
