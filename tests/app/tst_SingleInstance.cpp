#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void refusedCopyAsksRunningOneToShow();
    void lockOfCrashedCopyTakenOver();
    void askWithNobodyListeningFinishes();
};

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

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
