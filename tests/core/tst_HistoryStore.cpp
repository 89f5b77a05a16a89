#include "TestFiles.h"
#include "core/HistoryRecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using Direction = HistoryStore::Direction;

namespace {

HistoryStore::Entry Make(const QByteArray &text, Direction direction = Direction::Received,
                         const QString &peer = QStringLiteral("10.0.0.7"), const QString &cipher = {})
{
    return {0, {}, direction, peer, cipher, text};
}

QByteArrayList Texts(const QList<HistoryStore::Entry> &entries)
{
    QByteArrayList texts;
    for (const auto &entry : entries)
        texts.append(entry.text);
    return texts;
}

} // namespace

class tst_HistoryStore : public QObject
{
    Q_OBJECT

    QString File() const { return m_dir->filePath(QStringLiteral("sub/history.sqlite")); }
    static QString Record(HistoryRecorder &recorder, const QByteArray &text, const QString &cipher = {})
    {
        // The reason worth telling, as the window shows it: only a failure that is new.
        if (recorder.Record(Direction::Received, QStringLiteral("10.0.0.1"), cipher, text) || !recorder.FailureIsNew())
            return {};
        return recorder.errorString();
    }
    // Opened at File(), with the texts recorded oldest first.
    void Fill(HistoryStore &store, const QByteArrayList &texts)
    {
        QVERIFY(store.Open(File()));
        for (const QByteArray &text : texts)
            QVERIFY(store.Record(Make(text)));
    }
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // Everything recorded comes back in a later run: bytes no text would hold, past a preview's
    // length, and an empty draft, newest first.
    void roundTrip()
    {
        HistoryStore::Entry entry = Make(QByteArray("a\0b\xff\r\n", 6) + QByteArray(5000, 'x'), Direction::Sent, "host.lan", "secure");
        entry.at = QDateTime::currentDateTimeUtc().addSecs(-60);
        {
            HistoryStore store;
            Fill(store, {"older"});
            QVERIFY(store.Record(entry));
            QVERIFY(store.Record(Make({}, Direction::Draft, {})));
        }
        HistoryStore again;
        QVERIFY(again.Open(File()));
        const auto page = again.Page({}, 0, 10);
        QCOMPARE(Texts(page), (QByteArrayList{{}, entry.text.left(HistoryStore::PreviewBytes), "older"}));
        const HistoryStore::Entry &sent = page[1];
        QCOMPARE(int(sent.direction), int(Direction::Sent));
        QCOMPARE(sent.peer + ' ' + sent.cipher, QStringLiteral("host.lan secure"));
        QCOMPARE(sent.at.toMSecsSinceEpoch(), entry.at.toMSecsSinceEpoch());
        QCOMPARE(again.Text(sent.id), entry.text);
        QCOMPARE(int(page[0].direction), int(Direction::Draft));
    }

    void bounds_data()
    {
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<int>("maxDays");
        QTest::addColumn<int>("maxBytes");          // texts are two bytes each
        QTest::addColumn<QList<int>>("agesInDays"); // recorded oldest first
        QTest::addColumn<bool>("reopened");         // the bounds applied by a later run
        QTest::addColumn<QByteArrayList>("kept");   // newest first
        QTest::newRow("count drops the oldest") << 2 << 30 << 99 << QList<int>{3, 2, 1, 0} << false << QByteArrayList{"m3", "m2"};
        QTest::newRow("age drops the old") << 10 << 5 << 99 << QList<int>{9, 6, 4, 0} << false << QByteArrayList{"m3", "m2"};
        QTest::newRow("size drops the oldest") << 10 << 30 << 5 << QList<int>{0, 0, 0, 0} << false << QByteArrayList{"m3", "m2"};
        QTest::newRow("size: the newest stays") << 10 << 30 << 1 << QList<int>{0, 0} << false << QByteArrayList{"m1"};
        // Messages that were fine when written grow too old while the program is not running.
        QTest::newRow("age, on opening") << 10 << 5 << 99 << QList<int>{9, 6, 4} << true << QByteArrayList{"m2"};
    }
    void bounds()
    {
        QFETCH(int, maxCount);
        QFETCH(int, maxDays);
        QFETCH(int, maxBytes);
        QFETCH(QList<int>, agesInDays);
        QFETCH(bool, reopened);
        QFETCH(QByteArrayList, kept);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        auto store = std::make_unique<HistoryStore>();
        if (!reopened)
            store->SetLimits({maxCount, maxDays, maxBytes});
        store->SetClock(now);
        QVERIFY(store->Open(File()));
        for (int i = 0; i < agesInDays.size(); ++i) {
            HistoryStore::Entry entry = Make("m" + QByteArray::number(i));
            entry.at = now.addDays(-agesInDays[i]).addSecs(i);
            QVERIFY(store->Record(entry));
        }
        if (reopened) {
            store = std::make_unique<HistoryStore>();
            store->SetLimits({maxCount, maxDays, maxBytes});
            store->SetClock(now);
            QVERIFY(store->Open(File()));
        }
        QCOMPARE(Texts(store->Page({}, 0, 100)), kept);
        QCOMPARE(store->Count(), kept.size());
    }

    // Case aside, the filter is taken literally, wildcards of the query language too.
    void search()
    {
        HistoryStore store;
        Fill(store, {"apple pie", "Zebra", "100%", "a_b"});
        for (const char *filter : {"zEB", "ple p", "%", "_"})
            QCOMPARE(store.Page(filter, 0, 100).size(), 1);
    }

    // Pages follow one another without gaps or repeats, also under a filter; clearing leaves a
    // store that takes the next (one removed: the history window's Delete).
    void pagingAndClear()
    {
        HistoryStore store;
        QByteArrayList texts, expected;
        for (int i = 0; i < 25; ++i) {
            texts.append((i % 2 ? "odd " : "even ") + QByteArray::number(i));
            if (i % 2)
                expected.prepend(texts.last());
        }
        Fill(store, texts);
        QByteArrayList seen;
        for (qint64 before = 0; seen.size() < 20;) {
            const auto page = store.Page("odd", before, 5);
            if (page.isEmpty())
                break;
            seen += Texts(page);
            before = page.last().id;
        }
        QCOMPARE(seen, expected);
        QVERIFY(store.Clear());
        QCOMPARE(store.Count(), 0);
        QVERIFY(store.Record(Make("after")));
        QCOMPARE(store.Count(), 1);
    }

    // The file and the folder made for it are the owner's; the log is emptied when the owner has time.
    void ownerOnlyFilesAndBoundedLog()
    {
        HistoryStore store;
        Fill(store, QByteArrayList(100, QByteArray(100000, 'w'))); // twice the log's bound and more
        const QFileInfo log(File() + "-wal");
        QVERIFY2(log.size() > 1000000 && log.size() < 2 * HistoryStore::WalLimitBytes, qPrintable(QString::number(log.size())));
        QVERIFY(store.Checkpoint());
        QCOMPARE(QFileInfo(log.filePath()).size(), 0);
        for (const QString &path : {File(), log.filePath(), QFileInfo(File()).path()})
            QCOMPARE(QFileInfo(path).permissions() & 0x0077, QFile::Permissions()); // nothing for group or others
    }

    void unusableFile_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("not a database") << true;
        QTest::newRow("a file where the folder should be") << false;
    }
    void unusableFile()
    {
        QFETCH(bool, damaged);
        QVERIFY(damaged ? TestFiles::Corrupt(File()) : TestFiles::Write(QFileInfo(File()).path(), {}));
        HistoryStore store;
        QVERIFY(!store.Open(File()) && !store.errorString().isEmpty());
        QCOMPARE(store.Damaged(), damaged);
        QVERIFY(!store.Record(Make("lost")) && !store.errorString().isEmpty());
        QVERIFY(store.Page({}, 0, 10).isEmpty());
    }

    // The recorder: what the settings let into the history, and what it does when the file fails.
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

    // Another program holding the file locked: the write fails at once, without waiting; the
    // failure is reported at its first message only, again after a write succeeded and it came anew.
    void lockedFileReportedOnce()
    {
        HistoryRecorder recorder(File());
        QCOMPARE(Record(recorder, "0"), QString());
        {
            TestFiles::SqliteLock lock(File());
            for (int round = 0; round < 2; ++round) {
                QVERIFY(round == 0 ? lock.Locked() : lock.Take());
                QElapsedTimer clock;
                clock.start();
                QVERIFY(!Record(recorder, "1").isEmpty());
                QVERIFY2(clock.elapsed() < 1000, "the write waited for the lock");
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
        const QStringList aside = QFileInfo(File()).dir().entryList({"history.sqlite.damaged-*"}, QDir::Files);
        QCOMPARE(aside.filter(QRegularExpression("damaged-\\d{8}-\\d{6}$")).size(), 1);
        QVERIFY2(recorder.Damage().contains(QFileInfo(File()).dir().filePath(aside.first())), qPrintable(recorder.Damage()));
        HistoryStore *store = recorder.OpenStore();
        QCOMPARE(store->Count(), 1);
        QCOMPARE(store->Text(store->Page({}, 0, 10).value(0).id), QByteArray("new"));
    }
};

QTEST_GUILESS_MAIN(tst_HistoryStore)
#include "tst_HistoryStore.moc"
