#include "support/HistoryRecorder.h"

#include <QFile>
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

    // A broken file is reported at the first failure only, again after it was mended and broke anew.
    void failureReportedOnce()
    {
        Corrupt();
        HistoryRecorder recorder(File());
        QVERIFY(!recorder.Record(Direction::Received, QStringLiteral("a"), {}, "1").isEmpty());
        QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "2"), QString());
        QCOMPARE(recorder.Record(Direction::Sent, QStringLiteral("a"), {}, "3"), QString());
        QVERIFY(QFile::remove(File()));
        QCOMPARE(recorder.Record(Direction::Received, QStringLiteral("a"), {}, "4"), QString());
        HistoryStore *store = recorder.OpenStore();
        QVERIFY(store);
        QCOMPARE(store->Count(), 1);
        QCOMPARE(store->Text(store->Page({}, 0, 1).at(0).id), QByteArray("4"));
        store->Close();
        QFile::remove(File() + QStringLiteral("-wal"));
        QFile::remove(File() + QStringLiteral("-shm"));
        Corrupt();
        QVERIFY(!recorder.Record(Direction::Received, QStringLiteral("a"), {}, "5").isEmpty());
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
