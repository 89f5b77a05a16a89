#include "core/HistoryRecorder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using Direction = HistoryStore::Direction;

class tst_HistoryRecorder : public QObject
{
    Q_OBJECT

private:
    QString File() const { return m_dir->filePath(QStringLiteral("history.sqlite")); }
    void Corrupt() const
    {
        QFile file(File());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, '\x33'));
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
        QTest::newRow("history off: plain") << false << false << "" << false;
        QTest::newRow("history off: enciphered allowed") << false << true << "secure" << false;
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
            QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("10.0.0.1"), cipher, "the text"), QString());
        }
        if (!written) {
            // Not even an empty file: a history that is off leaves no trace.
            QVERIFY(!QFile::exists(File()));
            return;
        }
        HistoryStore store;
        QCOMPARE(store.Open(File()), QString());
        const auto page = store.Page({}, 0, 10);
        QCOMPARE(page.size(), 1);
        QCOMPARE(page[0].text, QByteArray("the text"));
        QCOMPARE(page[0].cipher, cipher);
    }

    // A failure is reported at its first message only, again after a write succeeded and it came anew.
    void failureReportedOnce()
    {
        HistoryRecorder recorder(File());
        QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "0"), QString());
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            other.setDatabaseName(File());
            QVERIFY(other.open());
            QSqlQuery lock(other);
            for (int round = 0; round < 2; ++round) {
                QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
                QVERIFY(!recorder.Record(Direction::Received, QStringLiteral("a"), {}, "1").isEmpty());
                QCOMPARE(recorder.Record(Direction::Sent, QStringLiteral("a"), {}, "2"), QString());
                QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
                QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "3"), QString());
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
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
            QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "old"), QString());
            recorder.Checkpoint();
        }
        if (damage == "checkpoint")
            QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "in the log"), QString());
        if (damage == "before" || damage == "overwritten")
            Corrupt();
        else
            QVERIFY(QFile::resize(File(), 4096));
        if (damage == "checkpoint")
            recorder.Checkpoint();
        else if (damage != "before") // a read of what is no longer there must not kill the program
            QCOMPARE(recorder.OpenStore()->Page({}, 0, 10).size(), 1);
        QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "new"), QString());
        const QStringList aside = QDir(m_dir->path()).entryList({"history.sqlite.damaged-*"}, QDir::Files);
        QCOMPARE(aside.filter(QRegularExpression("damaged-\\d{8}-\\d{6}$")).size(), 1);
        QVERIFY2(recorder.Damage().contains(m_dir->filePath(aside.first())), qPrintable(recorder.Damage()));
        HistoryStore *store = recorder.OpenStore();
        QVERIFY(store);
        QCOMPARE(store->Text(store->Page({}, 0, 10).value(0).id), QByteArray("new"));
        QCOMPARE(store->Count(), 1);
    }

    void limitsFollowTheSettings()
    {
        HistoryRecorder recorder(File());
        for (int i = 0; i < 6; ++i)
            QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, QByteArray::number(i)), QString());
        Preferences rules;
        rules.HistoryCount = 4;
        recorder.SetRules(rules);
        QCOMPARE(recorder.OpenStore()->Count(), 4);
        rules.HistoryCount = 2;
        recorder.SetRules(rules);
        QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "last"), QString());
        QCOMPARE(recorder.OpenStore()->Count(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_HistoryRecorder)
#include "tst_HistoryRecorder.moc"
