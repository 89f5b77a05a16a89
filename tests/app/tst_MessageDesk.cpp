#include "WindowTestHome.h"
#include "app/AppController.h"
#include "app/Board.h"
#include "app/MessageDesk.h"
#include "app/frmMain.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "core/HistoryStore.h"
#include "core/HistoryModel.h"
#include "windows/frmHistory.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Direction = HistoryStore::Direction;

namespace {

using namespace WindowTestHome;

// Direction, peer and whole text of each message, newest first.
QStringList Listing(const QString &file)
{
    HistoryStore store;
    if (!store.Open(file).isEmpty())
        return {QStringLiteral("<unreadable>")};
    QStringList rows;
    for (const HistoryStore::Entry &entry : store.Page({}, 0, 100))
        rows.append(QString::number(int(entry.direction)) + QLatin1Char(' ') + entry.peer + QLatin1Char(' ')
                    + entry.cipher + QLatin1Char('|') + QString::fromUtf8(store.Text(entry.id)));
    return rows;
}

QString Row(Direction direction, const QString &peer, const QString &cipher, const QString &text)
{
    return QString::number(int(direction)) + QLatin1Char(' ') + peer + QLatin1Char(' ') + cipher + QLatin1Char('|') + text;
}

} // namespace

class tst_MessageDesk : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        WindowTestHome::Enter();
        // No desktop's notification service is reached from here.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frmMain> m_window;

    QString HistoryFile() const { return m_dir->filePath(QStringLiteral("data/history.sqlite")); }

    frmMain &Window(const QString &password = {})
    {
        Store().setValue(QStringLiteral("Settings/ServerIP"), Loopback);
        Store().setValue(QStringLiteral("Settings/ServerPort"), QString::number(FreePort()));
        frmMain::Environment environment{[](const QString &, QMessageBox::Icon) {}, frmMain::TrayPresence::Present,
                                         m_dir->path(), 0, HistoryFile()};
        m_window = std::make_unique<frmMain>(environment);
        m_window->Controller().AppSettings().Security.CryptPassword = password;
        m_window->StartServer();
        return *m_window;
    }

    template <typename T> T *Control(const char *name) { return m_window->findChild<T *>(QLatin1String(name)); }
    Board *TheBoard() { return Control<Board>("txtBoard"); }
    QComboBox *Box() { return Control<QComboBox>("cmbIP"); }
    QString Status() { return Control<QLabel>("lblStatus")->toolTip(); }

    bool Deliver(const QByteArray &bytes, const QString &password = {})
    {
        CZaridoDovoClient sender;
        QSignalSpy sent(&sender, &CZaridoDovoClient::MessageSent);
        sender.SendMessage(Loopback, m_window->Controller().Server()->LocalPort(), bytes, password.toUtf8());
        return sent.wait();
    }

    // The window sends its board to itself; true once the send was answered "OK".
    bool SendToSelf()
    {
        QSignalSpy sent(m_window->Controller().Client(), &CZaridoDovoClient::MessageSent);
        Box()->setEditText(Loopback);
        QTest::mouseClick(Control<QPushButton>("cmdSend"), Qt::LeftButton);
        return sent.wait();
    }

private slots:
    void init()
    {
        Store().clear();
        m_dir = std::make_unique<QTemporaryDir>();
    }

    void cleanup() { m_window.reset(); }

    void draftsOnTheBoard_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("markedSent");
        QTest::addColumn<QString>("editAfter");
        QTest::addColumn<QString>("draft");          // what Receive returns
        QTest::addColumn<QString>("afterFirstUndo"); // the board after one Undo
        QTest::addColumn<QString>("nextDraft");      // a restored draft is the user's text again
        QTest::newRow("typed text comes back") << "my draft" << false << "" << "my draft" << "my draft" << "my draft";
        QTest::newRow("nothing typed") << "" << false << "" << "" << "incoming" << "";
        QTest::newRow("blank is no draft") << "   " << false << "" << "" << "incoming" << "";
        QTest::newRow("sent text is no draft") << "went out" << true << "" << "" << "incoming" << "";
        QTest::newRow("an edit of the arrival is undone first") << "mine" << false << "!" << "mine" << "incoming" << "mine";
    }

    void draftsOnTheBoard()
    {
        QFETCH(QString, typed);
        QFETCH(bool, markedSent);
        QFETCH(QString, editAfter);
        QFETCH(QString, draft);
        QFETCH(QString, afterFirstUndo);
        QFETCH(QString, nextDraft);
        Board board;
        board.show();
        board.setFocus();
        QTest::keyClicks(&board, typed);
        if (markedSent)
            board.MarkSent();
        QCOMPARE(board.Receive(QStringLiteral("incoming")), draft);
        QCOMPARE(board.toPlainText(), QStringLiteral("incoming"));
        if (!editAfter.isEmpty()) {
            board.moveCursor(QTextCursor::End);
            QTest::keyClicks(&board, editAfter);
        }
        QTest::keyClick(&board, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(board.toPlainText(), afterFirstUndo);
        if (!editAfter.isEmpty()) {
            QVERIFY(board.Undo());
            QCOMPARE(board.toPlainText(), draft);
        }
        QCOMPARE(board.Receive(QStringLiteral("next")), nextDraft);
    }

    void ctrlEnterAsksToSend_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("requests");
        QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier) << 1;
        QTest::newRow("Ctrl+Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier) << 1;
        QTest::newRow("Return alone is a new line") << int(Qt::Key_Return) << int(Qt::NoModifier) << 0;
    }

    void ctrlEnterAsksToSend()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, requests);
        Board board;
        QSignalSpy send(&board, &Board::SendRequested);
        QTest::keyClicks(&board, QStringLiteral("ab"));
        QTest::keyClick(&board, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(send.size(), requests);
        QCOMPARE(board.toPlainText(), requests ? QStringLiteral("ab") : QStringLiteral("ab\n"));
    }

    // Through the window: the draft is in the history, Edit -> Undo brings it back, the
    // destination typed stays.
    void arrivalOverTypedText()
    {
        Window();
        TheBoard()->setFocus();
        QTest::keyClicks(TheBoard(), QStringLiteral("half a thought"));
        Box()->setEditText(QStringLiteral("10.20.30.40"));
        QVERIFY(Deliver("from afar"));
        QTRY_COMPARE(TheBoard()->toPlainText(), QStringLiteral("from afar"));
        QCOMPARE(Box()->currentText(), QStringLiteral("10.20.30.40"));
        QVERIFY(Box()->findText(Loopback) >= 0);
        QCOMPARE(Listing(HistoryFile()), (QStringList{Row(Direction::Received, Loopback, {}, QStringLiteral("from afar")),
                                                      Row(Direction::Draft, QStringLiteral("10.20.30.40"), {},
                                                          QStringLiteral("half a thought"))}));
        Control<QAction>("mnuEditItem7")->trigger();
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("half a thought"));
    }

    void addressBoxAfterArrival_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("empty: the sender") << "" << Loopback;
        QTest::newRow("typed: kept") << "host.lan" << "host.lan";
    }

    void addressBoxAfterArrival()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        Window();
        Box()->setEditText(before);
        QVERIFY(Deliver("one"));
        QCOMPARE(Box()->currentText(), after);
        // A sender put there by an arrival is not the user's: the next sender replaces it.
        if (before.isEmpty()) {
            Box()->setEditText(QString());
            Box()->setEditText(Loopback);
        }
        QVERIFY(Deliver("two"));
        QCOMPARE(Box()->currentText(), after);
    }

    void historyKeepsWhatIsAllowed_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("keepEnciphered");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("rows");
        const QString text = QStringLiteral("round trip");
        QTest::newRow("plain, kept") << true << false << QString()
                                     << QStringList{Row(Direction::Sent, Loopback, {}, text + "\r\n"),
                                                    Row(Direction::Received, Loopback, {}, text + "\r\n")};
        QTest::newRow("enciphered, not allowed") << true << false << "sesame" << QStringList{};
        QTest::newRow("enciphered, allowed") << true << true << "sesame"
                                             << QStringList{Row(Direction::Sent, Loopback, "secure", text + "\r\n"),
                                                            Row(Direction::Received, Loopback, "secure", text + "\r\n")};
        QTest::newRow("history off") << false << true << QString() << QStringList{};
    }

    void historyKeepsWhatIsAllowed()
    {
        QFETCH(bool, keep);
        QFETCH(bool, keepEnciphered);
        QFETCH(QString, password);
        QFETCH(QStringList, rows);
        Store().setValue(QStringLiteral("Preferences/KeepHistory"), keep);
        Store().setValue(QStringLiteral("Preferences/KeepEnciphered"), keepEnciphered);
        Window(password);
        TheBoard()->setPlainText(QStringLiteral("round trip\n"));
        QVERIFY(SendToSelf());
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("round trip\n"));
        if (!keep) {
            QVERIFY(!QFile::exists(HistoryFile()));
            return;
        }
        QCOMPARE(Listing(HistoryFile()), rows);
    }

    void copyReceivedToClipboard_data()
    {
        QTest::addColumn<bool>("copy");
        QTest::newRow("off by default") << false;
        QTest::newRow("on") << true;
    }

    void copyReceivedToClipboard()
    {
        QFETCH(bool, copy);
        if (copy)
            Store().setValue(QStringLiteral("Preferences/CopyReceived"), true);
        QGuiApplication::clipboard()->setText(QStringLiteral("mine"));
        Window();
        QVERIFY(Deliver(QString::fromUtf8("caf\u00e9").toUtf8()));
        QCOMPARE(QGuiApplication::clipboard()->text(), copy ? QString::fromUtf8("caf\u00e9") : QStringLiteral("mine"));
    }

    // A broken history costs the history only: every message reaches the board. A damaged file
    // is set aside and told of in the history window; another failure is told once.
    void brokenHistoryDoesNotStopReceiving_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::newRow("damaged file: set aside, a new history") << false;
        QTest::newRow("file locked by another program") << true;
    }

    void brokenHistoryDoesNotStopReceiving()
    {
        QFETCH(bool, locked);
        QDir().mkpath(QFileInfo(HistoryFile()).absolutePath());
        std::unique_ptr<QSqlQuery> lock;
        if (locked) {
            HistoryStore().Open(HistoryFile());
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            other.setDatabaseName(HistoryFile());
            QVERIFY(other.open());
            lock = std::make_unique<QSqlQuery>(other);
            QVERIFY(lock->exec(QStringLiteral("BEGIN EXCLUSIVE")));
        } else {
            QFile file(HistoryFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, '\x07'));
        }
        Window();
        QVERIFY(Deliver("first"));
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("first"));
        if (!locked) {
            QCOMPARE(Listing(HistoryFile()), QStringList{Row(Direction::Received, Loopback, {}, QStringLiteral("first"))});
            m_window->Desk().OpenHistory();
            const QString notice = m_window->Desk().HistoryWindow()->findChild<QLabel *>("lblNotice")->text();
            QVERIFY2(notice.contains(HistoryFile() + ".damaged-"), qPrintable(notice));
            return;
        }
        QVERIFY(Status().contains(QStringLiteral("history not written")));
        QVERIFY(Deliver("second"));
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("second"));
        QVERIFY(Status().contains(QStringLiteral("6 bytes from (127.0.0.1)")));
        QVERIFY(!Status().contains(QStringLiteral("history")));
        if (lock) {
            lock->exec(QStringLiteral("ROLLBACK"));
            lock.reset();
            QSqlDatabase::database(QStringLiteral("locker"), false).close();
            QSqlDatabase::removeDatabase(QStringLiteral("locker"));
            // Unlocked, the history takes the next message again.
            QVERIFY(Deliver("third"));
            QCOMPARE(Listing(HistoryFile()), QStringList{Row(Direction::Received, Loopback, {}, QStringLiteral("third"))});
        }
    }

    // Once idle a while, the recent writes are copied into the history file and its log emptied.
    void historyCheckpointRunsWhenIdle()
    {
        Window().Desk().SetCheckpointDelay(300);
        const QFileInfo log(HistoryFile() + "-wal");
        QVERIFY(Deliver("into the log"));
        QTRY_VERIFY(QFileInfo(log.filePath()).size() > 0);
        QTRY_COMPARE(QFileInfo(log.filePath()).size(), 0);
    }

    void historyWindow()
    {
        Window();
        for (const char *text : {"alpha one", "beta two", "alpha three"})
            QVERIFY(Deliver(text));
        Control<QAction>("mnuToolsItem4")->trigger();
        frmHistory *history = m_window->Desk().HistoryWindow();
        QVERIFY(history && history->isVisible());
        auto *table = history->findChild<QTableView *>(QStringLiteral("tblHistory"));
        QCOMPARE(table->model()->rowCount(), 3);
        QCOMPARE(table->model()->index(0, HistoryModel::TextColumn).data().toString(), QStringLiteral("alpha three"));

        QTest::keyClicks(history->findChild<QLineEdit *>(QStringLiteral("txtSearch")), QStringLiteral("ALPHA"));
        QCOMPARE(table->model()->rowCount(), 2);
        table->selectRow(1);
        QCOMPARE(history->findChild<QLineEdit *>(QStringLiteral("txtAddress"))->text(), Loopback);
        QTest::mouseClick(history->findChild<QPushButton *>(QStringLiteral("cmdPutOnBoard")), Qt::LeftButton);
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("alpha one"));

        QTest::mouseClick(history->findChild<QPushButton *>(QStringLiteral("cmdCopy")), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("alpha one"));

        // Send again to the window's own receiver: it comes back, and both go into the history.
        QSignalSpy sent(m_window->Controller().Client(), &CZaridoDovoClient::MessageSent);
        QTest::mouseClick(history->findChild<QPushButton *>(QStringLiteral("cmdSendAgain")), Qt::LeftButton);
        QVERIFY(sent.wait());
        QCOMPARE(Listing(HistoryFile()).mid(0, 2),
                 (QStringList{Row(Direction::Sent, Loopback, {}, QStringLiteral("alpha one")),
                              Row(Direction::Received, Loopback, {}, QStringLiteral("alpha one"))}));

        // The window followed the new messages; Delete takes the selected one away.
        QCOMPARE(table->model()->rowCount(), 4);
        table->selectRow(0);
        QTest::mouseClick(history->findChild<QPushButton *>(QStringLiteral("cmdDelete")), Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), 3);
        QCOMPARE(Listing(HistoryFile()).size(), 4);
    }

    void clearHistoryAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }

    void clearHistoryAsksFirst()
    {
        QFETCH(bool, answer);
        HistoryStore store;
        QCOMPARE(store.Open(HistoryFile()), QString());
        HistoryStore::Entry entry;
        entry.text = "kept?";
        QCOMPARE(store.Record(entry), QString());
        int asked = 0;
        frmHistory window(store, nullptr, [&](QWidget *, const QString &) { return ++asked, answer; });
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("cmdClearHistory")), Qt::LeftButton);
        QCOMPARE(asked, 1);
        QCOMPARE(store.Count(), answer ? 0 : 1);
        QCOMPARE(window.Model().rowCount(), answer ? 0 : 1);
    }

    // A long history is read a page at a time as the list scrolls.
    void longHistoryInPages()
    {
        HistoryStore store;
        QCOMPARE(store.Open(HistoryFile()), QString());
        const int total = HistoryModel::PageSize * 2 + 7;
        for (int i = 0; i < total; ++i) {
            HistoryStore::Entry entry;
            entry.text = QByteArray::number(i);
            QCOMPARE(store.Record(entry), QString());
        }
        HistoryModel model(store);
        QCOMPARE(model.rowCount(), HistoryModel::PageSize);
        while (model.canFetchMore({}))
            model.fetchMore({});
        QCOMPARE(model.rowCount(), total);
        for (int row : {0, HistoryModel::PageSize - 1, HistoryModel::PageSize, total - 1})
            QCOMPARE(model.EntryAt(row)->text, QByteArray::number(total - 1 - row));
    }
};

QTEST_MAIN(tst_MessageDesk)
#include "tst_MessageDesk.moc"
