#include "LoopbackReceiver.h"
#include "TestFiles.h"
#include "WindowTestHome.h"
#include "app/AppController.h"
#include "app/Board.h"
#include "app/MessageDesk.h"
#include "app/frmMain.h"
#include "core/HistoryModel.h"
#include "core/HistoryStore.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/WireFormat.h"
#include "windows/frmHistory.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <memory>
#include <optional>

using Direction = HistoryStore::Direction;
using namespace WindowTestHome;

// The window's arrivals, drafts and history; the history's own rules are the store's and the
// recorder's tests.
class tst_MessageDesk : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        WindowTestHome::Enter();
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); // no desktop's notifications
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frmMain> m_window;

    QString HistoryFile() const { return m_dir->filePath(QStringLiteral("data/history.sqlite")); }

    // Direction, peer, cipher and whole text of each message, newest first.
    QStringList Listing()
    {
        HistoryStore store;
        if (!store.Open(HistoryFile()))
            return {QStringLiteral("<unreadable>")};
        QStringList rows;
        for (const HistoryStore::Entry &entry : store.Page({}, 0, 100))
            rows.append(Row(entry.direction, entry.peer, entry.cipher, QString::fromUtf8(store.Text(entry.id))));
        return rows;
    }
    static QString Row(Direction direction, const QString &peer, const QString &cipher, const QString &text)
    {
        return QString::number(int(direction)) + QLatin1Char(' ') + peer + QLatin1Char(' ') + cipher + QLatin1Char('|') + text;
    }

    frmMain &Window(const QString &password = {})
    {
        ListenOnLoopback();
        m_window = std::make_unique<frmMain>(frmMain::Environment{[](const QString &, QMessageBox::Icon) {},
                                                                  frmMain::TrayPresence::Present, m_dir->path(), 0, HistoryFile()});
        m_window->Controller().AppSettings().Security.SetPassword(password);
        m_window->StartServer();
        return *m_window;
    }

    template <typename T> T *Control(const char *name, QWidget *in = nullptr)
    {
        return (in ? in : m_window.get())->findChild<T *>(QLatin1String(name));
    }
    Board *TheBoard() { return Control<Board>("txtBoard"); }
    QComboBox *Box() { return Control<QComboBox>("cmbIP"); }
    QString Status() { return Control<QLabel>("lblStatus")->toolTip(); }
    bool Deliver(const QByteArray &bytes) { return Send(m_window->Controller().Server()->LocalPort(), bytes) == QLatin1String("OK"); }

    // Clicks the button and waits for the window's send to be answered "OK".
    bool SendFrom(QWidget *window, const char *button)
    {
        QSignalSpy sent(m_window->Controller().Client(), &CZaridoDovoClient::MessageSent);
        QTest::mouseClick(Control<QPushButton>(button, window), Qt::LeftButton);
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
        QTest::newRow("blank is no draft") << "   " << false << "" << "" << "incoming" << "";
        QTest::newRow("sent text is no draft") << "went out" << true << "" << "" << "incoming" << "";
        QTest::newRow("an edit of the arrival is undone first") << "mine" << false << "!" << "mine" << "incoming" << "mine";
    }
    void draftsOnTheBoard()
    {
        QFETCH(bool, markedSent);
        QFETCH(QString, editAfter);
        QFETCH(QString, draft);
        Board board;
        board.show();
        board.setFocus();
        QFETCH(QString, typed);
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
        QTEST(board.toPlainText(), "afterFirstUndo");
        if (!editAfter.isEmpty()) {
            QVERIFY(board.Undo());
            QCOMPARE(board.toPlainText(), draft);
        }
        QTEST(board.Receive(QStringLiteral("next")), "nextDraft");
    }

    // While new senders are asked about, a remembered one reaches the board, a new one is kept
    // aside (in the history) until Show; a blocked one gets "BAD" whatever the choice.
    void newSenders_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QString>("remembered"); // the address list
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<bool>("show"); // the notification's Show chosen
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("board");
        QTest::addColumn<int>("history");
        QTest::newRow("not asked: on the board") << false << "" << "" << false << QByteArray("OK") << "hello" << 1;
        QTest::newRow("remembered: on the board") << true << "127.0.0.1" << "" << false << QByteArray("OK") << "hello" << 1;
        QTest::newRow("new: kept aside") << true << "" << "" << false << QByteArray("OK") << "" << 1;
        QTest::newRow("new, then Show: on the board") << true << "" << "" << true << QByteArray("OK") << "hello" << 1;
        QTest::newRow("blocked: BAD") << false << "127.0.0.1" << "10.0.0.9 127.0.0.1" << false << QByteArray("BAD") << "" << 0;
    }
    void newSenders()
    {
        QFETCH(QString, remembered);
        QFETCH(QByteArray, reply);
        QFETCH(bool, show);
        QFile list(m_dir->filePath(QStringLiteral("tdsettings.ini")));
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write(remembered.toLatin1() + "\r\n") > 0);
        list.close();
        QFETCH(bool, ask);
        Store().setValue(QStringLiteral("Preferences/AskNewSenders"), ask);
        QFETCH(QString, blocked);
        Store().setValue(QStringLiteral("Preferences/BlockedSenders"), blocked);
        Window();
        const QByteArray frame = QByteArray::fromStdString(WriteFrame("hello", "").bytes);
        const QByteArray answer = Exchange(quint16(m_window->Controller().Server()->LocalPort()), frame);
        QVERIFY2(answer.endsWith(reply), answer.constData());
        if (show)
            m_window->Desk().ShowSender(Loopback);
        QTEST(TheBoard()->toPlainText(), "board");
        QTEST(int(Listing().size()), "history");
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
    // destination typed stays, and the clipboard is left alone unless asked.
    void arrivalOverTypedText_data()
    {
        QTest::addColumn<bool>("copyReceived");
        QTest::newRow("clipboard left alone by default") << false;
        QTest::newRow("arrival copied to the clipboard") << true;
    }
    void arrivalOverTypedText()
    {
        QFETCH(bool, copyReceived);
        if (copyReceived)
            Store().setValue(QStringLiteral("Preferences/CopyReceived"), true);
        QGuiApplication::clipboard()->setText(QStringLiteral("mine"));
        Window();
        TheBoard()->setFocus();
        QTest::keyClicks(TheBoard(), QStringLiteral("half a thought"));
        Box()->setEditText(QStringLiteral("10.20.30.40"));
        QVERIFY(Deliver("from af\xc3\xa4r"));
        QTRY_COMPARE(TheBoard()->toPlainText(), QStringLiteral("from af\u00e4r"));
        QCOMPARE(QGuiApplication::clipboard()->text(), copyReceived ? QStringLiteral("from af\u00e4r") : QStringLiteral("mine"));
        QCOMPARE(Box()->currentText(), QStringLiteral("10.20.30.40"));
        QCOMPARE(Listing(), (QStringList{Row(Direction::Received, Loopback, {}, QStringLiteral("from af\u00e4r")),
                                         Row(Direction::Draft, QStringLiteral("10.20.30.40"), {}, QStringLiteral("half a thought"))}));
        Control<QAction>("mnuEditItem7")->trigger();
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("half a thought"));
    }

    // Clear and File -> New keep the unsent text as an arrival does: in the history, and Undo
    // brings it back; Redo takes it away again.
    void clearAndNewKeepTheDraft_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Clear") << "cmdClear";
        QTest::newRow("File -> New") << "mnuFileItem0";
    }
    void clearAndNewKeepTheDraft()
    {
        QFETCH(QString, command);
        Window();
        TheBoard()->setFocus();
        QTest::keyClicks(TheBoard(), QStringLiteral("half a thought"));
        if (auto *button = Control<QPushButton>(qPrintable(command)))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            Control<QAction>(qPrintable(command))->trigger();
        QCOMPARE(TheBoard()->toPlainText(), QString());
        QCOMPARE(Listing(), QStringList{Row(Direction::Draft, {}, {}, QStringLiteral("half a thought"))});
        QTest::keyClick(TheBoard(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("half a thought"));
        QTest::keyClick(TheBoard(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(TheBoard()->toPlainText(), QString());
    }

    // Both directions reach the history, marked as enciphered, once the settings allow it (the
    // recorder's table holds the other rules).
    void historyKeepsWhatIsAllowed()
    {
        Store().setValue(QStringLiteral("Preferences/KeepEnciphered"), true);
        Window(QStringLiteral("sesame"));
        TheBoard()->setPlainText(QStringLiteral("round trip\n"));
        Box()->setEditText(Loopback);
        QVERIFY(SendFrom(m_window.get(), "cmdSend"));
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("round trip\n"));
        const QString text = QStringLiteral("round trip\r\n");
        QCOMPARE(Listing(), (QStringList{Row(Direction::Sent, Loopback, "secure", text), Row(Direction::Received, Loopback, "secure", text)}));
    }

    // A limit written in the settings applies to the open history at once.
    void historyLimitsFollowTheSettings()
    {
        Window();
        QVERIFY(Deliver("first") && Deliver("second"));
        m_window->Controller().AppSettings().Prefs.HistoryCount = 1;
        m_window->Controller().ApplySettings();
        QCOMPARE(Listing(), (QStringList{Row(Direction::Received, Loopback, {}, QStringLiteral("second"))}));
    }

    // A broken history costs the history only: every message reaches the board. A damaged file
    // is set aside and told of in the history window; a locked one is told once, then used again.
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
        QVERIFY(HistoryStore().Open(HistoryFile()));
        std::optional<TestFiles::SqliteLock> lock;
        if (locked)
            QVERIFY(lock.emplace(HistoryFile()).Locked());
        else
            QVERIFY(TestFiles::Corrupt(HistoryFile()));
        Window();
        QVERIFY(Deliver("first"));
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("first"));
        if (locked) {
            QVERIFY(Status().contains(QStringLiteral("history not written")));
            QVERIFY(Deliver("second"));
            QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("second"));
            QVERIFY(!Status().contains(QStringLiteral("history"))); // told once
            QVERIFY(lock->Release());
        }
        QVERIFY(Deliver("third")); // unlocked, the history takes the next message again
        QCOMPARE(Listing().first(), Row(Direction::Received, Loopback, {}, QStringLiteral("third")));
        if (!locked) {
            m_window->Desk().OpenHistory();
            const QString notice = Control<QLabel>("lblNotice", m_window->Desk().HistoryWindow())->text();
            QVERIFY2(notice.contains(HistoryFile() + ".damaged-"), qPrintable(notice));
            // The window shows the desk's store: it must be gone before the store is.
            QPointer<frmHistory> history = m_window->Desk().HistoryWindow();
            bool goneFirst = false;
            connect(&m_window->Desk(), &QObject::destroyed, this, [&] { goneFirst = history.isNull(); });
            m_window.reset();
            QVERIFY(goneFirst);
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
        auto *table = Control<QTableView>("tblHistory", history);
        QTest::keyClicks(Control<QLineEdit>("txtSearch", history), QStringLiteral("ALPHA"));
        QCOMPARE(table->model()->rowCount(), 2);
        table->selectRow(1);
        QCOMPARE(Control<QLineEdit>("txtAddress", history)->text(), Loopback);
        QTest::mouseClick(Control<QPushButton>("cmdPutOnBoard", history), Qt::LeftButton);
        QCOMPARE(TheBoard()->toPlainText(), QStringLiteral("alpha one"));
        QTest::mouseClick(Control<QPushButton>("cmdCopy", history), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("alpha one"));
        // Send again to the window's own receiver: it comes back, and both go into the history,
        // which the window follows; Delete takes the selected one away.
        QVERIFY(SendFrom(history, "cmdSendAgain"));
        QCOMPARE(Listing().mid(0, 2), (QStringList{Row(Direction::Sent, Loopback, {}, QStringLiteral("alpha one")),
                                                   Row(Direction::Received, Loopback, {}, QStringLiteral("alpha one"))}));
        QCOMPARE(table->model()->rowCount(), 4);
        table->selectRow(0);
        QTest::mouseClick(Control<QPushButton>("cmdDelete", history), Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), 3);
        QCOMPARE(Listing().size(), 5); // taken from the store when the window closes
    }

    // The list by keyboard: focus selects the newest; each key acts on the selected message,
    // which stays selected when the list is read again.
    void historyListKeys_data()
    {
        QTest::addColumn<QString>("keys"); // none: a double click
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("stored"); // once the window closed
        QTest::newRow("Enter: on the board") << "Return" << "three" << "before" << 3 << 3;
        QTest::newRow("double click: on the board") << "" << "three" << "before" << 3 << 3;
        QTest::newRow("Ctrl+C: the text, not its time") << "Ctrl+C" << "" << "three" << 3 << 3;
        QTest::newRow("Delete: gone at the close") << "Del" << "" << "before" << 2 << 2;
        QTest::newRow("Delete, Ctrl+Z: back") << "Del, Ctrl+Z" << "" << "before" << 3 << 3;
        QTest::newRow("Escape closes the window") << "Esc" << "" << "before" << 3 << 3;
    }
    void historyListKeys()
    {
        QFETCH(QString, keys);
        HistoryStore store;
        QVERIFY(store.Open(HistoryFile()));
        for (const char *text : {"one", "two", "three"})
            QVERIFY(store.Record(HistoryStore::Entry{0, {}, Direction::Received, Loopback, {}, text}));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        frmHistory window(store);
        QSignalSpy board(&window, &frmHistory::PutOnBoard);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *table = Control<QTableView>("tblHistory", &window);
        table->setFocus(Qt::TabFocusReason);
        QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 0);
        const QKeySequence sequence(keys);
        for (int i = 0; i < sequence.count(); ++i)
            QTest::keyClick(table, sequence[i].key(), sequence[i].keyboardModifiers());
        const QPoint newest = table->visualRect(table->model()->index(0, 3)).center();
        if (keys.isEmpty())
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, newest), QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, newest);
        QTEST(board.isEmpty() ? QString() : QString::fromUtf8(board.at(0).at(0).toByteArray()), "board");
        QTEST(QGuiApplication::clipboard()->text(), "clipboard");
        QTEST(window.Model().rowCount(), "rows");
        window.Reload(); // as a new message would
        QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(window.isVisible(), keys != QLatin1String("Esc"));
        window.close();
        QTEST(int(store.Count()), "stored");
    }

    // Clearing asks first: No keeps the history, Yes empties it.
    void clearHistoryAsksFirst()
    {
        HistoryStore store;
        QVERIFY(store.Open(HistoryFile()));
        QVERIFY(store.Record(HistoryStore::Entry{}));
        QList<bool> answers{false, true};
        frmHistory window(store, nullptr, [&](QWidget *, const QString &) { return answers.takeFirst(); });
        for (const int left : {1, 0}) {
            QTest::mouseClick(Control<QPushButton>("cmdClearHistory", &window), Qt::LeftButton);
            QCOMPARE(store.Count(), left);
            QCOMPARE(window.Model().rowCount(), left);
        }
        QVERIFY(answers.isEmpty());
    }

    // A long history is read a page at a time as the list scrolls.
    void longHistoryInPages()
    {
        HistoryStore store;
        QVERIFY(store.Open(HistoryFile()));
        const int total = HistoryModel::PageSize * 2 + 7;
        for (int i = 0; i < total; ++i) {
            HistoryStore::Entry entry;
            entry.text = QByteArray::number(i);
            QVERIFY(store.Record(entry));
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
