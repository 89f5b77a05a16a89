#include "TestFiles.h"
#include "core/HistoryRecorder.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using Direction = HistoryStore::Direction;

class tst_HistoryRecorder : public QObject
{
    Q_OBJECT

    QString File() const { return m_dir->filePath(QStringLiteral("history.sqlite")); }
    static QString Record(HistoryRecorder &recorder, const QByteArray &text, const QString &cipher = {})
    {
        // The reason worth telling, as the window shows it: only a failure that is new.
        if (recorder.Record(Direction::Received, QStringLiteral("10.0.0.1"), cipher, text) || !recorder.FailureIsNew())
            return {};
        return recorder.errorString();
    }
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void rules_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("keepEnciphered");
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<bool>("written");
        QTest::newRow("plain kept") << true << false << "" << true;
        QTest::newRow("enciphered not kept by default") << true << false << "secure" << false;
        QTest::newRow("enciphered kept when allowed") << true << true << "secure" << true;
        QTest::newRow("history off") << false << true << "" << false;
    }
    void rules()
    {
        QFETCH(bool, keep);
        QFETCH(bool, keepEnciphered);
        QFETCH(QString, cipher);
        QFETCH(bool, written);
        Preferences rules;
        rules.KeepHistory = keep;
        rules.KeepEnciphered = keepEnciphered;
        {
            HistoryRecorder recorder(File());
            recorder.SetRules(rules);
            QCOMPARE(Record(recorder, "the text", cipher), QString());
        }
        QCOMPARE(QFile::exists(File()), written); // a history that is off leaves not even an empty file
        HistoryStore store;
        if (written) {
            QVERIFY(store.Open(File()));
            QCOMPARE(store.Page({}, 0, 10).value(0).cipher, cipher);
        }
    }

    // A failure is reported at its first message only, again after a write succeeded and it came anew.
    void failureReportedOnce()
    {
        HistoryRecorder recorder(File());
        QCOMPARE(Record(recorder, "0"), QString());
        {
            TestFiles::SqliteLock lock(File());
            for (int round = 0; round < 2; ++round) {
                QVERIFY(round == 0 ? lock.Locked() : lock.Take());
                QVERIFY(!Record(recorder, "1").isEmpty());
                QCOMPARE(Record(recorder, "2"), QString());
                QVERIFY(lock.Release());
                QCOMPARE(Record(recorder, "3"), QString());
            }
        }
        QCOMPARE(recorder.OpenStore()->Count(), 3);
        QCOMPARE(recorder.Damage(), QString()); // a locked file is not a damaged one
    }

    // Found at the start or while running, a damaged file is kept aside and a new history takes the message.
    void damagedHistoryIsSetAside_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("overwritten before the start") << "before";
        QTest::newRow("overwritten while running") << "overwritten";
        QTest::newRow("cut short while running") << "cut";
        QTest::newRow("cut short, then the idle checkpoint") << "checkpoint";
    }
    void damagedHistoryIsSetAside()
    {
        QFETCH(QString, damage);
        HistoryRecorder recorder(File());
        if (damage != "before") {
            QCOMPARE(Record(recorder, "old"), QString());
            recorder.Checkpoint();
        }
        if (damage == "checkpoint")
            QCOMPARE(Record(recorder, "in the log"), QString());
        QVERIFY(damage == "before" || damage == "overwritten" ? TestFiles::Corrupt(File()) : QFile::resize(File(), 4096));
        if (damage == "checkpoint")
            recorder.Checkpoint();
        else if (damage != "before") // a read of what is no longer there must not kill the program
            QCOMPARE(recorder.OpenStore()->Page({}, 0, 10).size(), 1);
        QCOMPARE(Record(recorder, "new"), QString());
        const QStringList aside = QDir(m_dir->path()).entryList({"history.sqlite.damaged-*"}, QDir::Files);
        QCOMPARE(aside.filter(QRegularExpression("damaged-\\d{8}-\\d{6}$")).size(), 1);
        QVERIFY2(recorder.Damage().contains(m_dir->filePath(aside.first())), qPrintable(recorder.Damage()));
        HistoryStore *store = recorder.OpenStore();
        QCOMPARE(store->Count(), 1);
        QCOMPARE(store->Text(store->Page({}, 0, 10).value(0).id), QByteArray("new"));
    }

    void limitsFollowTheSettings()
    {
        HistoryRecorder recorder(File());
        for (const char *text : {"1", "2", "3"})
            QCOMPARE(Record(recorder, text), QString());
        Preferences rules;
        rules.HistoryCount = 2;
        recorder.SetRules(rules); // at once, not at the next message
        QCOMPARE(recorder.OpenStore()->Count(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_HistoryRecorder)
#include "tst_HistoryRecorder.moc"
