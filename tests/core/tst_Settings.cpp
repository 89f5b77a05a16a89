#include "WindowTestHome.h"
#include "core/Settings.h"

using WindowTestHome::Store;

// The stored keys: where each lives, what a stored text reads as, and which writes tell of a change.
class tst_Settings : public QObject
{
    Q_OBJECT

public:
    static void initMain() { WindowTestHome::Enter(); }

private slots:
    void init() { Store().clear(); }

    // Files written by earlier versions hold these places: none may move. The records write
    // every key once, and writing a value again tells of no change.
    void everyKeyWrittenOnce()
    {
        SettingsStore store;
        QSignalSpy changed(&store, &SettingsStore::Changed);
        Settings settings;
        settings.Stored.Save(store);
        settings.Prefs.Save(store);
        settings.Security.Save(store);
        QStringList paths;
        for (const QList<QVariant> &signal : changed)
            paths << Directive(signal[0].value<SettingKey>()).Path();
        QCOMPARE(paths, (QStringList{"Settings/ServerIP", "Settings/ServerPort", "Settings/ServerTimeout", "Settings/LogPath",
                                     "Settings/Cipher", "Preferences/KeepHistory", "Preferences/KeepEnciphered",
                                     "Preferences/HistoryCount", "Preferences/HistoryDays", "Preferences/HistoryMegabytes",
                                     "Preferences/Notify", "Preferences/CopyReceived", "Preferences/PhonePort",
                                     "Preferences/AskNewSenders", "Preferences/BlockedSenders", "Security/AcceptSecureOnly", "Security/RememberPassword"}));
        settings.Prefs.HistoryDays = 7;
        settings.Prefs.BlockedSenders = QStringList{"10.0.0.7", "fe80::1%eth0"};
        settings.Prefs.Save(store);
        settings.Stored.Save(store);
        QCOMPARE(changed.size(), paths.size() + 2);
        Preferences next;
        next.Load(store);
        QCOMPARE(next.HistoryDays, 7);
        QCOMPARE(next.BlockedSenders, settings.Prefs.BlockedSenders);
    }

    void storedTextRead_data()
    {
        QTest::addColumn<SettingKey>("key");
        QTest::addColumn<QVariant>("stored"); // invalid: absent
        QTest::addColumn<QVariant>("read");
        QTest::newRow("port absent") << SettingKey::ServerPort << QVariant() << QVariant(30666);
        QTest::newRow("port not a number") << SettingKey::ServerPort << QVariant("80a") << QVariant(30666);
        QTest::newRow("port spaced") << SettingKey::ServerPort << QVariant(" 8080 ") << QVariant(8080);
        QTest::newRow("history count below one") << SettingKey::HistoryCount << QVariant("0") << QVariant(1);
        QTest::newRow("phone port 0") << SettingKey::PhonePort << QVariant("0") << QVariant(30667);
        QTest::newRow("cipher absent") << SettingKey::Cipher << QVariant() << QVariant("sealed");
    }
    void storedTextRead()
    {
        QFETCH(SettingKey, key);
        QFETCH(QVariant, stored);
        if (stored.isValid())
            Store().setValue(Directive(key).Path(), stored);
        QTEST(SettingsStore().Value(key), "read");
    }
};

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_Settings.moc"
