#include "TestFiles.h"
#include "core/HistoryStore.h"

#include <QDir>
#include <QElapsedTimer>
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

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QString>("cipher");
        QTest::newRow("sent enciphered") << QByteArray("a\r\nb") << int(Direction::Sent) << "host.lan" << "secure";
        QTest::newRow("draft: empty text and peer") << QByteArray() << int(Direction::Draft) << "" << "";
        QTest::newRow("NUL and non-UTF-8") << QByteArray("a\0b\xff\xfe", 5) << int(Direction::Received) << "::1" << "";
        QTest::newRow("longer than a preview") << QByteArray(5000, 'x') + "end" << int(Direction::Received) << "p" << "";
    }
    void roundTrip()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, direction);
        QFETCH(QString, peer);
        QFETCH(QString, cipher);
        HistoryStore::Entry entry = Make(text, Direction(direction), peer, cipher);
        entry.at = QDateTime::currentDateTimeUtc().addSecs(-60);
        {
            HistoryStore store;
            Fill(store, {"older"});
            QVERIFY(store.Record(entry));
        }
        HistoryStore again;
        QVERIFY(again.Open(File()));
        const auto page = again.Page({}, 0, 10);
        QCOMPARE(Texts(page), (QByteArrayList{text.left(HistoryStore::PreviewBytes), "older"}));
        const HistoryStore::Entry &newest = page.first();
        QCOMPARE(int(newest.direction), direction);
        QCOMPARE(newest.peer, peer);
        QCOMPARE(newest.cipher, cipher);
        QCOMPARE(newest.at.toMSecsSinceEpoch(), entry.at.toMSecsSinceEpoch());
        QCOMPARE(again.Text(newest.id), text);
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

    void search_data()
    {
        QTest::addColumn<QByteArray>("filter");
        QTest::addColumn<QByteArrayList>("found");
        QTest::newRow("all") << QByteArray() << QByteArrayList{"a_b", "100%", "Zebra crossing", "zebra", "apple pie"};
        QTest::newRow("case-insensitive") << QByteArray("ZEBRA") << QByteArrayList{"Zebra crossing", "zebra"};
        QTest::newRow("middle of the text") << QByteArray("ple p") << QByteArrayList{"apple pie"};
        QTest::newRow("percent is literal") << QByteArray("%") << QByteArrayList{"100%"};
        QTest::newRow("underscore is literal") << QByteArray("_") << QByteArrayList{"a_b"};
    }
    void search()
    {
        QFETCH(QByteArray, filter);
        HistoryStore store;
        Fill(store, {"apple pie", "zebra", "Zebra crossing", "100%", "a_b"});
        QTEST(Texts(store.Page(filter, 0, 100)), "found");
    }

    // Pages follow one another without gaps or repeats, also under a filter; removing one
    // message and clearing all leave a store that takes the next.
    void pagingRemoveAndClear()
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
        const auto newest = store.Page({}, 0, 2);
        QVERIFY(store.Remove(newest[0].id));
        QVERIFY(store.Text(newest[0].id).isEmpty());
        QCOMPARE(Texts(store.Page({}, 0, 1)), QByteArrayList{newest[1].text});
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
        QVERIFY(damaged ? QDir().mkpath(QFileInfo(File()).path()) && TestFiles::Corrupt(File())
                        : TestFiles::Write(QFileInfo(File()).path(), {}));
        HistoryStore store;
        QVERIFY(!store.Open(File()) && !store.errorString().isEmpty());
        QCOMPARE(store.Damaged(), damaged);
        QVERIFY(!store.Record(Make("lost")) && !store.errorString().isEmpty());
        QVERIFY(store.Page({}, 0, 10).isEmpty());
    }

    // Another program holding the file locked: the write fails at once, without waiting.
    void lockedFile()
    {
        HistoryStore store;
        Fill(store, {});
        {
            TestFiles::SqliteLock lock(File());
            QVERIFY(lock.Locked());
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!store.Record(Make("blocked")) && !store.errorString().isEmpty());
            QVERIFY2(clock.elapsed() < 1000, "the write waited for the lock");
        }
        QVERIFY(store.Record(Make("after")));
        QCOMPARE(Texts(store.Page({}, 0, 10)), QByteArrayList{"after"});
    }
};

QTEST_GUILESS_MAIN(tst_HistoryStore)
#include "tst_HistoryStore.moc"
