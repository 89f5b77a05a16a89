#include "core/HistoryStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using Direction = HistoryStore::Direction;

namespace {

HistoryStore::Entry Make(const QByteArray &text, Direction direction = Direction::Received,
                         const QString &peer = QStringLiteral("10.0.0.7"), const QString &cipher = {})
{
    HistoryStore::Entry entry;
    entry.text = text;
    entry.direction = direction;
    entry.peer = peer;
    entry.cipher = cipher;
    return entry;
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

private:
    QString File() const { return m_dir->filePath(QStringLiteral("sub/history.sqlite")); }
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QString>("cipher");
        QTest::newRow("plain received") << QByteArray("hello\r\nworld") << int(Direction::Received) << "192.168.1.4" << "";
        QTest::newRow("sent enciphered") << QByteArray("secret") << int(Direction::Sent) << "host.lan" << "secure";
        QTest::newRow("draft, empty peer") << QByteArray("half typed") << int(Direction::Draft) << "" << "";
        QTest::newRow("bytes with NUL and non-UTF-8") << QByteArray("a\0b\xff\xfe", 5) << int(Direction::Received) << "::1" << "";
        QTest::newRow("UTF-8") << QString::fromUtf8("Grüße, 日本").toUtf8() << int(Direction::Sent) << "10.1.1.1" << "";
        QTest::newRow("empty text") << QByteArray() << int(Direction::Received) << "10.1.1.2" << "";
        QTest::newRow("longer than a preview") << QByteArray(5000, 'x') + "end" << int(Direction::Received) << "p" << "";
    }

    void roundTrip()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, direction);
        QFETCH(QString, peer);
        QFETCH(QString, cipher);
        const QDateTime at = QDateTime::currentDateTimeUtc().addSecs(-60);
        {
            HistoryStore store;
            QCOMPARE(store.Open(File()), QString());
            HistoryStore::Entry entry = Make(text, Direction(direction), peer, cipher);
            entry.at = at;
            QCOMPARE(store.Record(Make("older")), QString());
            QCOMPARE(store.Record(entry), QString());
        }
        HistoryStore again;
        QCOMPARE(again.Open(File()), QString());
        QCOMPARE(again.Count(), 2);
        const auto page = again.Page({}, 0, 10);
        QCOMPARE(page.size(), 2);
        const HistoryStore::Entry &newest = page.first();
        QCOMPARE(int(newest.direction), direction);
        QCOMPARE(newest.peer, peer);
        QCOMPARE(newest.cipher, cipher);
        QCOMPARE(newest.at.toMSecsSinceEpoch(), at.toMSecsSinceEpoch());
        QCOMPARE(newest.text, text.left(HistoryStore::PreviewBytes));
        QCOMPARE(again.Text(newest.id), text);
        QCOMPARE(page.last().text, QByteArray("older"));
    }

    void bounds_data()
    {
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<int>("maxDays");
        QTest::addColumn<QList<int>>("agesInDays"); // recorded oldest first
        QTest::addColumn<QByteArrayList>("kept");   // newest first
        QTest::addColumn<int>("maxBytes");          // texts are two bytes each
        QTest::newRow("under all") << 5 << 30 << QList<int>{3, 2, 1} << QByteArrayList{"m2", "m1", "m0"} << 6;
        QTest::newRow("count drops the oldest") << 2 << 30 << QList<int>{3, 2, 1, 0} << QByteArrayList{"m3", "m2"} << 99;
        QTest::newRow("age drops the old") << 10 << 5 << QList<int>{9, 6, 4, 0} << QByteArrayList{"m3", "m2"} << 99;
        QTest::newRow("both") << 1 << 5 << QList<int>{9, 2, 1} << QByteArrayList{"m2"} << 99;
        QTest::newRow("count of one") << 1 << 30 << QList<int>{0, 0, 0} << QByteArrayList{"m2"} << 99;
        QTest::newRow("size drops the oldest") << 10 << 30 << QList<int>{0, 0, 0, 0} << QByteArrayList{"m3", "m2"} << 5;
        QTest::newRow("size: the newest stays") << 10 << 30 << QList<int>{0, 0} << QByteArrayList{"m1"} << 1;
    }

    void bounds()
    {
        QFETCH(int, maxCount);
        QFETCH(int, maxDays);
        QFETCH(QList<int>, agesInDays);
        QFETCH(QByteArrayList, kept);
        QFETCH(int, maxBytes);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        HistoryStore store;
        store.SetLimits({maxCount, maxDays, maxBytes});
        store.SetClock(now);
        QCOMPARE(store.Open(File()), QString());
        for (int i = 0; i < agesInDays.size(); ++i) {
            HistoryStore::Entry entry = Make("m" + QByteArray::number(i));
            entry.at = now.addDays(-agesInDays[i]).addSecs(i);
            QCOMPARE(store.Record(entry), QString());
        }
        QCOMPARE(Texts(store.Page({}, 0, 100)), kept);
        QCOMPARE(store.Count(), kept.size());
    }

    // Messages that were fine when written grow too old while the program is not running.
    void ageAppliesOnOpen()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        {
            HistoryStore store;
            QCOMPARE(store.Open(File()), QString());
            QCOMPARE(store.Record(Make("old")), QString());
            QCOMPARE(store.Record(Make("new")), QString());
        }
        HistoryStore later;
        later.SetLimits({100, 1});
        later.SetClock(now.addDays(2));
        QCOMPARE(later.Open(File()), QString());
        QCOMPARE(later.Count(), 0);
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
        QTest::newRow("nothing") << QByteArray("qqq") << QByteArrayList{};
    }

    void search()
    {
        QFETCH(QByteArray, filter);
        QFETCH(QByteArrayList, found);
        HistoryStore store;
        QCOMPARE(store.Open(File()), QString());
        for (const char *text : {"apple pie", "zebra", "Zebra crossing", "100%", "a_b"})
            QCOMPARE(store.Record(Make(text)), QString());
        QCOMPARE(Texts(store.Page(filter, 0, 100)), found);
    }

    // Pages follow one another without gaps or repeats, also under a filter.
    void paging()
    {
        HistoryStore store;
        QCOMPARE(store.Open(File()), QString());
        QByteArrayList expected;
        for (int i = 0; i < 25; ++i) {
            const QByteArray text = (i % 2 ? "odd " : "even ") + QByteArray::number(i);
            QCOMPARE(store.Record(Make(text)), QString());
            if (i % 2)
                expected.prepend(text);
        }
        QByteArrayList seen;
        qint64 before = 0;
        for (int round = 0; round < 10; ++round) {
            const auto page = store.Page("odd", before, 5);
            if (page.isEmpty())
                break;
            seen += Texts(page);
            before = page.last().id;
        }
        QCOMPARE(seen, expected);
    }

    void removeAndClear()
    {
        HistoryStore store;
        QCOMPARE(store.Open(File()), QString());
        for (const char *text : {"one", "two", "three"})
            QCOMPARE(store.Record(Make(text)), QString());
        const auto page = store.Page({}, 0, 10);
        QCOMPARE(store.Remove(page[1].id), QString());
        QCOMPARE(Texts(store.Page({}, 0, 10)), (QByteArrayList{"three", "one"}));
        QVERIFY(store.Text(page[1].id).isEmpty());
        QCOMPARE(store.Clear(), QString());
        QCOMPARE(store.Count(), 0);
        QCOMPARE(store.Record(Make("after")), QString());
        QCOMPARE(store.Count(), 1);
    }

    // The file and the folder made for it are the owner's; the log is emptied when the owner has time.
    void ownerOnlyFilesAndBoundedLog()
    {
        HistoryStore store;
        QCOMPARE(store.Open(File()), QString());
        for (int i = 0; i < 100; ++i) // twice the log's bound and more
            QCOMPARE(store.Record(Make(QByteArray(100000, 'w'))), QString());
        const QFileInfo log(File() + "-wal");
        QVERIFY2(log.size() > 1000000 && log.size() < 2 * HistoryStore::WalLimitBytes,
                 qPrintable(QString::number(log.size())));
        QCOMPARE(store.Checkpoint(), QString());
        QCOMPARE(QFileInfo(log.filePath()).size(), 0);
        for (const QString &path : {File(), log.filePath(), QFileInfo(File()).path()})
            QCOMPARE(QFileInfo(path).permissions() & 0x0077, QFile::Permissions()); // nothing for group or others
    }

    void corruptFile()
    {
        QDir().mkpath(QFileInfo(File()).absolutePath());
        QFile file(File());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, '\x5a'));
        file.close();
        HistoryStore store;
        QVERIFY(!store.Open(File()).isEmpty());
        QVERIFY(store.Damaged());
        QVERIFY(!store.Record(Make("lost")).isEmpty());
        QVERIFY(store.Page({}, 0, 10).isEmpty());
    }

    // Another program holding the file locked: the write fails at once, without waiting.
    void lockedFile()
    {
        HistoryStore store;
        QCOMPARE(store.Open(File()), QString());
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            other.setDatabaseName(File());
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!store.Record(Make("blocked")).isEmpty());
            QVERIFY2(clock.elapsed() < 1000, "the write waited for the lock");
            QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        QCOMPARE(store.Record(Make("after")), QString());
        QCOMPARE(Texts(store.Page({}, 0, 10)), QByteArrayList{"after"});
    }

    void unwritableFolder()
    {
        QFile blocker(m_dir->filePath(QStringLiteral("sub")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        HistoryStore store;
        QVERIFY(!store.Open(File()).isEmpty());
        QVERIFY(!store.IsOpen());
    }
};

QTEST_GUILESS_MAIN(tst_HistoryStore)
#include "tst_HistoryStore.moc"
