#include "FakeDialogRunner.h"
#include "TextdropVersion.h"
#include "LoopbackReceiver.h"
#include "ScriptedReceiver.h"
#include "TestFiles.h"
#include "WindowTestHome.h"
#include "app/AddressBox.h"
#include "app/AppController.h"
#include "app/Board.h"
#include "app/frmMain.h"
#include "desktop/CTray.h"
#include "protocol/CZaridoDovoServer.h"
#include "phone/PhoneServer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>


using namespace WindowTestHome;
using TestFiles::Read;
using TestFiles::Write;

class tst_frmMain : public QObject
{
    Q_OBJECT

public:
    static void initMain() { WindowTestHome::Enter(); }

private:
    // Message boxes recorded, the program folder (holding the address list) temporary.
    frmMain::Environment Surroundings(frmMain::TrayPresence tray = frmMain::TrayPresence::Present, int tick = 0)
    {
        const auto record = [this](const QString &text, QMessageBox::Icon) { m_messages.append(text); };
        return {record, tray, m_program->path(), tick, m_program->filePath(QStringLiteral("history.sqlite"))};
    }
    frmMain &MakeWindow(frmMain::TrayPresence tray = frmMain::TrayPresence::Present, int tick = 0)
    {
        m_window = std::make_unique<frmMain>(Surroundings(tray, tick));
        return *m_window;
    }

    frmMain &StartedWindow(frmMain::TrayPresence tray = frmMain::TrayPresence::Present, int port = 0)
    {
        ListenOnLoopback(port);
        MakeWindow(tray).StartServer();
        return *m_window;
    }

    template <typename T> T *Control(const char *name) { return m_window->findChild<T *>(QLatin1String(name)); }
    QPlainTextEdit *Board() { return Control<QPlainTextEdit>("txtBoard"); }
    AddressBox *Box() { return Control<AddressBox>("cmbIP"); }
    void Click(const char *button) { QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton); }
    void Command(const char *action) { Control<QAction>(action)->trigger(); }
    int Port() { return m_window->Controller().Server()->LocalPort(); }
    QString Outcome(const QByteArray &bytes, const QByteArray &password = {}) { return Send(Port(), bytes, password); }

    // The status line's full text after its time stamp and ": ".
    QString Status()
    {
        static const QRegularExpression stamp(QStringLiteral("^ \\d\\d:\\d\\d:\\d\\d (AM|PM): "));
        const QString status = Control<QLabel>("lblStatus")->toolTip();
        const QRegularExpressionMatch match = stamp.match(status);
        return match.hasMatch() ? status.mid(match.capturedLength()) : QStringLiteral("<no time stamp> ") + status;
    }

    // A plain frame from another loopback address, as a peer on another host sends it; true on "OK".
    bool DeliverFrom(const QString &source, const QByteArray &bytes, int port = 0)
    {
        return Exchange(port ? port : Port(), Frame(bytes), source).endsWith("OK");
    }

    // Tools -> Settings: applies the edits ({"txtPort", "4000", "chkCrypt", "", ...}: a check box
    // named is clicked, a field gets the text typed), then OK. Returns the fields as opened.
    QStringList EditSettings(const QStringList &edits)
    {
        QStringList opened;
        FakeDialogRunner runner;
        runner.Queue([&](QDialog &dialog) {
            for (const char *name : {"txtIP", "txtPort", "txtTimeout", "txtPath", "txtPhonePort"})
                opened.append(dialog.findChild<QLineEdit *>(QLatin1String(name))->text());
            for (qsizetype i = 0; i + 1 < edits.size(); i += 2) {
                if (auto *box = dialog.findChild<QCheckBox *>(edits[i])) {
                    box->click();
                    continue;
                }
                if (auto *combo = dialog.findChild<QComboBox *>(edits[i])) {
                    combo->setCurrentIndex(edits[i + 1].toInt());
                    continue;
                }
                auto *field = dialog.findChild<QLineEdit *>(edits[i]);
                field->clear();
                QTest::keyClicks(field, edits[i + 1]);
            }
            dialog.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
            return dialog.result();
        });
        Command("mnuToolsItem0");
        for (const FakeDialogRunner::Message &message : runner.messages)
            qWarning() << "settings window refused:" << message.text;
        return opened;
    }

    QStringList m_messages;
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<frmMain> m_window;

private slots:
    void init()
    {
        Store().clear();
        m_messages.clear();
        m_program = std::make_unique<QTemporaryDir>();
    }

    void cleanup() { m_window.reset(); }

    // The failure names the address (0.0.0.0 for every address), the tray says "not receiving",
    // and Restart Server tries again.
    void failedStartReportedAndRetried_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("named");
        QTest::newRow("one address") << Loopback << Loopback;
        QTest::newRow("every address") << QString() << QStringLiteral("0.0.0.0");
    }
    void failedStartReportedAndRetried()
    {
        QFETCH(QString, ip);
        QFETCH(QString, named);
        QTcpServer occupant;
        QVERIFY(occupant.listen(ip.isEmpty() ? QHostAddress::Any : QHostAddress::LocalHost, 0));
        ListenOnLoopback(occupant.serverPort());
        Store().setValue(QStringLiteral("Settings/ServerIP"), ip);
        MakeWindow().StartServer();
        QCOMPARE(Status(), QStringLiteral("Server failed to start on %1:%2 \u2014 see the log").arg(named).arg(occupant.serverPort()));
        CTray *tray = m_window->findChild<CTray *>();
        QVERIFY2(tray->TipText().contains(QStringLiteral("not receiving")), qPrintable(tray->TipText()));
        occupant.close();
        Command("mnuToolsItem3");
        QVERIFY2(tray->TipText().startsWith(QStringLiteral("Textdrop v0.1.49\nReceiving on ")), qPrintable(tray->TipText()));
        QCOMPARE(Outcome("back"), QStringLiteral("OK"));
    }

    void statusLineFitsItsWidth()
    {
        StartedWindow().show();
        auto *label = Control<QLabel>("lblStatus");
        m_window->SetStatus(QString(300, u'w'));
        QVERIFY(label->text().endsWith(QStringLiteral("...")) && label->text().size() < 300);
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width());
        m_window->resize(4000, m_window->height()); // room enough: the whole text again
        QTRY_COMPARE(label->text(), label->toolTip());
    }

    // The running window comes forward while the second copy's box is up; the box closes by itself.
    void secondCopyRefused()
    {
        frmMain &running = MakeWindow(); // out of sight
        FakeDialogRunner runner;
        bool forwardBeforeClose = false;
        int closedWith = -1;
        runner.Queue([&](QDialog &box) {
            connect(&box, &QDialog::finished, [&] { forwardBeforeClose = running.isVisible() && running.isActiveWindow(); });
            QTimer::singleShot(20000, &box, &QDialog::reject); // a box left open fails the test, not hangs it
            return closedWith = box.exec();
        });
        frmMain::Environment surroundings = Surroundings();
        surroundings.RefusedNoticeMilliseconds = 300;
        frmMain second(surroundings);
        QVERIFY(!running.Controller().Run().AlreadyRunning && second.Controller().Run().AlreadyRunning && !second.Controller().Server());
        QCOMPARE(runner.messages.at(0).text, QStringLiteral("Another instance of Textdrop is currently running.\n\n"
                                                            "This instance will shutdown automatically."));
        QVERIFY(forwardBeforeClose);
        QCOMPARE(closedWith, int(QDialog::Accepted));
        // Even a quit command on the refused copy writes nothing.
        second.findChild<QAction *>(QStringLiteral("mnuFileItem5"))->trigger();
        QVERIFY(Store().allKeys().isEmpty());
        QVERIFY(!QFileInfo::exists(running.Controller().Run().AddressFile));
    }

    // A new sender joins the address list once and is chosen; File -> Exit writes the settings
    // (the password never) and the list as read, blank lines out, with the new ones after.
    void quitWritesSettingsAndAddresses()
    {
        QVERIFY(Write(m_program->filePath(QStringLiteral("tdsettings.ini")), "127.0.0.3\r\n\r\n  10.0.0.6 \r\n127.0.0.3\r\n"));
        StartedWindow().Controller().AppSettings().Security.SetPassword(QStringLiteral("sesame-secret"));
        m_window->Controller().AppSettings().Stored.Cipher = ZaridoDovo::Cipher::Legacy;
        for (const QString sender : {"127.0.0.1", "127.0.0.2", "127.0.0.1", "127.0.0.3"}) {
            QVERIFY(DeliverFrom(sender, sender.toLatin1()));
            QCOMPARE(Box()->currentText(), sender);
        }
        Command("mnuFileItem5"); // E&xit
        QSettings store = Store();
        QCOMPARE(store.childGroups(), (QStringList{"Preferences", "Security", "Settings", "Window"}));
        store.beginGroup(QStringLiteral("Settings"));
        QCOMPARE(store.allKeys(), (QStringList{"Cipher", "LogPath", "ServerIP", "ServerPort", "ServerTimeout"}));
        StoredSettings next; // the next run reads the choice back
        next.Load(SettingsStore());
        QCOMPARE(next.Cipher, ZaridoDovo::Cipher::Legacy);
        QVERIFY(!Read(Store().fileName()).contains("sesame-secret"));
        QCOMPARE(Read(m_window->Controller().Run().AddressFile), QByteArray("127.0.0.3\r\n10.0.0.6\r\n127.0.0.3\r\n127.0.0.1\r\n127.0.0.2\r\n"));
    }

    // The window opens where it was left; the history window over it.
    void windowPlaceKept()
    {
        MakeWindow().show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        const QRect place(60, 70, 520, 330);
        m_window->setGeometry(place);
        Command("mnuFileItem5");
        m_window.reset();
        MakeWindow().show();
        QCOMPARE(m_window->geometry(), place);
        Command("mnuToolsItem4");
        QWidget *history = m_window->findChild<QWidget *>(QStringLiteral("frmHistory"));
        // Within the frame's width, which is not known before the window shows.
        QVERIFY((history->frameGeometry().center() - m_window->frameGeometry().center()).manhattanLength() < 10);
    }

    void quitOnFullDiskKeepsAddressFile()
    {
        const QString path = m_program->filePath(QStringLiteral("tdsettings.ini"));
        QVERIFY(Write(path, "10.0.0.1\r\n"));
        MakeWindow();
        Box()->addItems(QStringList(20, QStringLiteral("192.168.100.100")));
        {
            const TestFiles::FileSizeLimit fullDisk(64); // writes past 64 bytes fail
            Command("mnuFileItem5");
        }
        QCOMPARE(Read(path), QByteArray("10.0.0.1\r\n"));
        QCOMPARE(QDir(m_program->path()).entryList(QDir::Files), QStringList{QStringLiteral("tdsettings.ini")});
    }

    void messageReachesBoardStatusListAndFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("folder"); // below the program folder
        QTest::addColumn<QString>("notSaved");
        QTest::newRow("utf-8 text, folder with its separator")
            << QByteArray("h\xc3\xa9llo\r\nw\xc3\xb6rld") << QStringLiteral("h\u00e9llo\nw\u00f6rld") << QStringLiteral("saved/") << QString();
        QTest::newRow("windows-1252 text, folder without its separator")
            << QByteArray("caf\xe9 \x80") << QStringLiteral("caf\u00e9 \u20ac") << QStringLiteral("saved") << QString();
        QTest::newRow("utf-8 byte order mark dropped") << QByteArray("\xef\xbb\xbfhi") << QStringLiteral("hi") << QStringLiteral("saved/") << QString();
        QTest::newRow("a 256 KiB line, shown whole")
            << QByteArray(256 * 1024, 'q') << QString(256 * 1024, u'q') << QStringLiteral("saved/") << QString();
        QTest::newRow("folder below a file: shown all the same")
            << QByteArray("keep me") << QStringLiteral("keep me") << QStringLiteral("blocker/saved/") << QStringLiteral(" \u2014 not saved: ");
    }
    void messageReachesBoardStatusListAndFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, board);
        QFETCH(QString, notSaved);
        QVERIFY(Write(m_program->filePath(QStringLiteral("blocker")), ""));
        QVERIFY(QDir(m_program->path()).mkdir(QStringLiteral("saved")));
        QFETCH(QString, folder);
        StartedWindow().Controller().AppSettings().Stored.LogPath = m_program->filePath(folder);
        QCOMPARE(Outcome(bytes), QStringLiteral("OK"));
        QCOMPARE(Board()->toPlainText(), board);
        // The status counts the bytes that travelled, as the sender does; the board's counter characters.
        const QString status = QLocale().toString(bytes.size()) + QStringLiteral(" bytes from (127.0.0.1)") + notSaved;
        QVERIFY2(notSaved.isEmpty() ? Status() == status : Status().startsWith(status), qPrintable(Status()));
        QCOMPARE(Control<QLabel>("lblBytes")->text(), QLocale().toString(board.size()));
        QCOMPARE(Box()->Entries(), QStringList{Loopback});
        const QStringList files = QDir(m_program->filePath(QStringLiteral("saved"))).entryList(QDir::Files);
        QCOMPARE(files.size(), notSaved.isEmpty() ? 1 : 0);
        if (!files.isEmpty())
            QCOMPARE(Read(m_program->filePath(QStringLiteral("saved/")) + files.at(0)), bytes + "\r\n");
    }

    // The reply words themselves are the client's; the window shows the refusal with its
    // explanation and a hang-up.
    void sendFailureSaysWhatHappened_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<QString>("status"); // %1: the peer's port
        QTest::newRow("BAD") << int(ScriptedReceiver::ReplyThenClose)
                             << QStringLiteral("Remote Server Error: BAD \u2014 the receiver could not read the message: it has "
                                               "a different password, or it accepts enciphered messages only");
        QTest::newRow("hangs up without a reply") << int(ScriptedReceiver::CloseSilently)
                                                  << QStringLiteral("Send Error #1 - no answer from 127.0.0.1:%1: the connection ended before a reply");
    }
    void sendFailureSaysWhatHappened()
    {
        QFETCH(int, script);
        QFETCH(QString, status);
        ScriptedReceiver peer(ScriptedReceiver::Script(script), 9, "BAD");
        StartedWindow().Controller().AppSettings().Stored.ServerPort = peer.Port();
        Box()->setEditText(Loopback);
        Board()->setPlainText(QStringLiteral("x"));
        Click("cmdSend");
        QTRY_COMPARE(Status(), status.arg(peer.Port()));
        QCOMPARE(Board()->toPlainText(), QStringLiteral("x")); // kept for another try
    }

    // Typed "host:port" and a computer found on the network both reach their port, as UTF-8
    // with CR LF enciphered with the password's UTF-8; only the typed address is remembered
    // once it answered OK, and found computers never are.
    void sendGoesWhereTheBoxSays_data()
    {
        QTest::addColumn<bool>("found");
        QTest::newRow("typed host:port") << false;
        QTest::newRow("found on the network") << true;
    }
    void sendGoesWhereTheBoxSays()
    {
        QFETCH(bool, found);
        CZaridoDovoServer peer;
        QVERIFY(peer.StartServer(Loopback, 0, 2, "p\xc3\xa4ss", true, ZaridoDovo::Cipher::Sealed));
        QSignalSpy received(&peer, &CZaridoDovoServer::MessageReceived);
        ListenOnLoopback();
        Store().setValue(QStringLiteral("Settings/ServerIP"), QStringLiteral("127.0.0.2")); // sends leave from it
        MakeWindow().Controller().AppSettings().Security.SetPassword(QStringLiteral("p\u00e4ss"));
        m_window->StartServer();
        const QString typed = Loopback + ':' + QString::number(peer.LocalPort());
        Box()->SetPeers({Peer{"desk-3", Loopback, quint16(peer.LocalPort()), false, {}}});
        if (found)
            Box()->setCurrentIndex(Box()->count() - 1);
        else
            Box()->setEditText(typed);
        Board()->setPlainText(QStringLiteral("a\u00e9c\nd"));
        Click("cmdSend");
        QVERIFY(received.wait());
        QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("a\xc3\xa9\x63\r\nd"));
        QCOMPARE(received.at(0).at(1).toString(), QStringLiteral("127.0.0.2"));
        QTRY_VERIFY2(QRegularExpression(QStringLiteral("^7 bytes sent in \\d+\\.\\d\\d seconds$")).match(Status()).hasMatch(), qPrintable(Status()));
        QCOMPARE(Box()->Entries(), found ? QStringList() : QStringList{typed});
        QCOMPARE(Box()->itemText(Box()->count() - 1), "desk-3 \u2014 " + Loopback); // after the remembered ones
    }

    // Ticked entries each get the text; the status line counts the "OK"s and names the others.
    void sendsToEveryTickedEntry()
    {
        CZaridoDovoServer peer;
        QVERIFY(peer.StartServer(Loopback, 0, 2, QByteArray(), false, ZaridoDovo::Cipher::Sealed));
        QSignalSpy received(&peer, &CZaridoDovoServer::MessageReceived);
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        const quint16 closed = gone.serverPort();
        gone.close();
        StartedWindow();
        AddressBox *box = Box();
        box->AddAddress(Loopback + ':' + QString::number(peer.LocalPort()));
        box->AddAddress("not here");
        box->SetPeers({Peer{"desk-3", Loopback, quint16(peer.LocalPort()), false, {}}, Peer{"desk-9", Loopback, closed, false, {}}});
        for (int row : {0, 2, 3})
            box->setItemData(row, Qt::Checked, Qt::CheckStateRole);
        Board()->setPlainText("x");
        Click("cmdSend");
        QTRY_VERIFY2(Status().contains("answered"), qPrintable(Status()));
        QVERIFY2(Status().endsWith("2 of 3 answered \"OK\"; not: desk-9 \u2014 127.0.0.1 (Connection refused)"), qPrintable(Status()));
        QCOMPARE(received.size(), 2);
    }

    void nothingReceivedOnlyForSilentConnection()
    {
        StartedWindow();
        QSignalSpy received(m_window->Controller().Server(), &CZaridoDovoServer::MessageReceived);
        // A peer that sends a message and hangs up at once is no silent connection.
        QTcpSocket hasty;
        hasty.connectToHost(QHostAddress::LocalHost, Port());
        hasty.write(QByteArray("STALK\0\0\4data", 12)); // goes out once connected, before the close
        hasty.disconnectFromHost();
        QTRY_VERIFY(received.count() > 0);
        QTRY_COMPARE(hasty.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(Status(), QStringLiteral("4 bytes from (127.0.0.1)"));
        const std::unique_ptr<QTcpSocket> silent = Dial(Port());
        QTRY_COMPARE(Status(), QStringLiteral("Connection from 127.0.0.1"));
        silent->disconnectFromHost();
        QTRY_COMPARE(Status(), QStringLiteral("Nothing received from 127.0.0.1"));
    }

    // Closed, or started hidden (at log-in): out of sight, still receiving, nothing written.
    // Without a tray a hidden window could never be reached: it is minimised instead.
    void outOfSightKeepsReceiving_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("hiddenStart");
        QTest::newRow("close box, tray: hidden") << true << false;
        QTest::newRow("close box, no tray: minimised") << false << false;
        QTest::newRow("hidden start, tray: never shown") << true << true;
        QTest::newRow("hidden start, no tray: minimised") << false << true;
    }
    void outOfSightKeepsReceiving()
    {
        QFETCH(bool, tray);
        QFETCH(bool, hiddenStart);
        ListenOnLoopback();
        MakeWindow(tray ? frmMain::TrayPresence::Present : frmMain::TrayPresence::Absent).Present(hiddenStart);
        m_window->StartServer();
        if (!hiddenStart) {
            QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
            QVERIFY(!m_window->close());
        }
        QCOMPARE(m_window->isVisible(), !tray);
        QCOMPARE(m_window->isMinimized(), !tray);
        QVERIFY(!Store().contains(QStringLiteral("Settings/ServerTimeout")));
        QCOMPARE(Outcome("still receiving"), QStringLiteral("OK"));
        QCOMPARE(Board()->toPlainText(), QStringLiteral("still receiving"));
    }

    void addressBoxKeys_data()
    {
        QTest::addColumn<int>("selected"); // chosen before typing; the list is 10.0.0.1, host
        QTest::addColumn<QString>("typed"); // then the caret goes to the start
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("text");
        const QStringList list{QStringLiteral("10.0.0.1"), QStringLiteral("host")};
        QTest::newRow("enter, text listed: nothing more") << -1 << QStringLiteral("host") << int(Qt::Key_Return) << list << QStringLiteral("host");
        QTest::newRow("enter, new text appended") << -1 << QStringLiteral("10.0.0.9") << int(Qt::Key_Return) << (list + QStringList{"10.0.0.9"}) << QStringLiteral("10.0.0.9");
        QTest::newRow("enter, case differs") << -1 << QStringLiteral("HOST") << int(Qt::Key_Enter) << (list + QStringList{"HOST"}) << QStringLiteral("HOST");
        QTest::newRow("delete, entry selected: removed, then edits") << 0 << QString() << int(Qt::Key_Delete) << QStringList{"host"} << QStringLiteral("0.0.0.1");
        QTest::newRow("delete, nothing selected: edits") << -1 << QStringLiteral("abc") << int(Qt::Key_Delete) << list << QStringLiteral("bc");
        QTest::newRow("delete, chosen entry edited since: edits") << 1 << QStringLiteral("x") << int(Qt::Key_Delete) << list << QStringLiteral("ostx");
    }
    void addressBoxKeys()
    {
        QFETCH(int, selected);
        QFETCH(QString, typed);
        QFETCH(int, key);
        AddressBox box;
        box.addItems({QStringLiteral("10.0.0.1"), QStringLiteral("host")});
        box.setCurrentIndex(selected);
        QTest::keyClicks(&box, typed);
        box.lineEdit()->home(false);
        QTest::keyClick(&box, Qt::Key(key));
        QTEST(box.Entries(), "entries");
        QTEST(box.currentText(), "text");
    }

    // Enter that closes a message box must not reach the address box as a key release of its own.
    void addressBoxIgnoresForeignEnter()
    {
        AddressBox box;
        box.addItem(QStringLiteral("gone"));
        box.setCurrentIndex(-1);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box.lineEdit(), &release); // its press went to the message box
        QCOMPARE(box.Entries(), QStringList{QStringLiteral("gone")});
    }

    void clipboardButtons()
    {
        MakeWindow();
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("held before"));
        Click("cmdCopy"); // an empty board
        QCOMPARE(clipboard->text(), QString());
        Board()->setPlainText(QStringLiteral("keep gone keep"));
        QVERIFY(Board()->find(QStringLiteral("gone "))); // selects it
        Click("cmdCopy");
        QCOMPARE(clipboard->text(), QStringLiteral("keep gone keep")); // the whole board
        clipboard->clear();
        Click("cmdPaste");
        QCOMPARE(Board()->toPlainText(), QStringLiteral("keep keep"));
        Click("cmdClear");
        QCOMPARE(Control<QLabel>("lblBytes")->text(), QStringLiteral("0"));
    }

    // From the board: what each key reaches.
    void keyboardPaths_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("focused"); // the control with the focus afterwards
        QTest::addColumn<int>("messages");
        QTest::newRow("Ctrl+L: the address box") << int(Qt::Key_L) << int(Qt::ControlModifier) << "cmbIP" << 0;
        QTest::newRow("Ctrl+Tab leaves the board") << int(Qt::Key_Tab) << int(Qt::ControlModifier) << "cmdSend" << 0;
        QTest::newRow("Alt+S sends: no address yet") << int(Qt::Key_S) << int(Qt::AltModifier) << "cmbIP" << 1;
    }
    void keyboardPaths()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        MakeWindow().show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        Board()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QFETCH(int, messages);
        QTRY_COMPARE(m_messages.size(), messages); // a mnemonic clicks a moment later
        const QWidget *focused = QApplication::focusWidget();
        QTEST(qobject_cast<const QLineEdit *>(focused) ? focused->parent()->objectName() : focused->objectName(), "focused");
        for (const char *name : {"cmdSend", "cmdClear", "cmdCopy", "cmdPaste", "cmbIP", "lblBytes"})
            QVERIFY2(!Control<QWidget>(name)->toolTip().isEmpty(), name);
    }

    void documentsThroughFileMenu()
    {
        MakeWindow();
        FakeDialogRunner runner;
        // A File menu entry, the file dialog answered with the file's name.
        const auto command = [&](const char *entry, const QString &name) {
            const QString path = m_program->filePath(name);
            runner.Queue([path](QDialog &dialog) { return dynamic_cast<QFileDialog &>(dialog).selectFile(path), int(QDialog::Accepted); });
            Command(entry);
            return path;
        };
        Board()->setPlainText(QStringLiteral("ab\u00e9\nd"));
        QString path = command("mnuFileItem3", QStringLiteral("doc.txt")); // Save Document...
        QCOMPARE(Read(path), QByteArray("ab\xc3\xa9\r\nd\r\n")); // line ends as sent, one CR LF more
        QCOMPARE(Status(), QStringLiteral("Saved ") + path);
        path = command("mnuFileItem3", QStringLiteral("missing/doc.txt"));
        QCOMPARE(Status(), QStringLiteral("Error saving ") + path);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(QFile::resize(m_program->filePath(QStringLiteral("doc.txt")), ::Board::DocumentLimit + 1)); // sparse
        path = command("mnuFileItem1", QStringLiteral("doc.txt")); // Open Document...
        QCOMPARE(Board()->toPlainText(), QStringLiteral("ab\u00e9\nd"));
        QCOMPARE(Status(), QStringLiteral("Error loading ") + path);
        QCOMPARE(m_messages.size(), 2);
    }

    void settingsSurviveQuitAndStart()
    {
        const QString port = QString::number(FreePort());
        const QString path = m_program->filePath(QStringLiteral("inbox/"));
        StartedWindow();
        const QString phonePort = QString::number(FreePort());
        EditSettings({"txtIP", Loopback, "txtPort", port, "txtTimeout", "7", "txtPath", path, "txtPhonePort", phonePort});
        QCOMPARE(Store().value(QStringLiteral("Settings/ServerTimeout")).toString(), QStringLiteral("7")); // written by OK
        QCOMPARE(Send(port.toInt(), "moved"), QStringLiteral("OK")); // the server moved at once
        Command("mnuFileItem5");
        m_window.reset();
        MakeWindow().StartServer(); // a new start reads them back
        QCOMPARE(Port(), port.toInt());
        QCOMPARE(EditSettings({}), (QStringList{Loopback, port, QStringLiteral("7"), path, phonePort}));
        Command("mnuToolsItem5"); // pairing listens where the settings say
        QCOMPARE(m_window->findChild<PhoneServer *>()->Port(), phonePort.toInt());
    }

    // Secure-only kept from an earlier run, with no password at hand: nothing plain gets in, and
    // the settings window asks for the password.
    void secureOnlyWithoutPasswordRefusesPlain()
    {
        Store().setValue(QStringLiteral("Security/AcceptSecureOnly"), true);
        FakeDialogRunner runner;
        StartedWindow();
        QTRY_COMPARE(runner.unanswered, QStringList{QStringLiteral("frmSettings")});
        QVERIFY2(Status().contains(QStringLiteral("no password is set")), qPrintable(Status()));
        QCOMPARE(Outcome("plain"), QStringLiteral("refused"));
    }

    // The session's end as the desktop signals it to the real program: settings and learnt
    // addresses are written as File -> Exit writes them.
    void terminationWritesEverything()
    {
        QTemporaryDir home;
        const QString program = home.filePath(QStringLiteral("textdrop")); // a portable copy: addresses beside it
        QVERIFY(QFile::copy(QStringLiteral(TEXTDROP_PROGRAM_PATH), program));
        const int port = FreePort();
        QSettings store(home.filePath(QStringLiteral("Textdrop/Textdrop.conf")), QSettings::IniFormat);
        store.setValue(QStringLiteral("Settings/ServerIP"), Loopback);
        store.setValue(QStringLiteral("Settings/ServerPort"), QString::number(port));
        store.sync();
        QProcess running;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QLatin1String(name), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        running.setProcessEnvironment(env);
        running.start(program, {QStringLiteral("--hidden")});
        QTRY_VERIFY_WITH_TIMEOUT(DeliverFrom(QStringLiteral("127.0.0.2"), "learn me", port), 10000);
        running.terminate();
        QVERIFY(running.waitForFinished(10000));
        QCOMPARE(running.exitStatus(), QProcess::NormalExit);
        store.sync();
        QCOMPARE(store.value(QStringLiteral("Settings/ServerTimeout")).toString(), QStringLiteral("2"));
        QCOMPARE(Read(home.filePath(QStringLiteral("tdsettings.ini"))), QByteArray("127.0.0.2\r\n"));
    }

    void textOnlyOptionsNeedNoDisplay_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");
        QTest::newRow("help") << QStringLiteral("--help") << QStringLiteral("--hidden");
        QTest::newRow("version") << QStringLiteral("--version") << QStringLiteral("Textdrop " TEXTDROP_VERSION);
    }
    void textOnlyOptionsNeedNoDisplay()
    {
        QFETCH(QString, option);
        QFETCH(QString, expected);
        QProcess running;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        running.setProcessEnvironment(env);
        running.start(QStringLiteral(TEXTDROP_PROGRAM_PATH), {option});
        QVERIFY(running.waitForFinished(10000));
        QCOMPARE(running.exitCode(), 0);
        QVERIFY(QString::fromUtf8(running.readAllStandardOutput()).contains(expected));
    }

    // The tray menu offers Hide while the window shows, Show while it is hidden.
    void trayMenuOffersTheOtherState()
    {
        MakeWindow().show();
        auto *menu = m_window->findChild<QMenu *>(QStringLiteral("mnuPopup"));
        for (const bool shown : {true, false}) {
            menu->popup(QPoint(0, 0));
            QCOMPARE(Control<QAction>("mnuPopupItem0")->isVisible(), !shown); // &Show
            QCOMPARE(Control<QAction>("mnuPopupItem1")->isVisible(), shown);  // &Hide
            menu->hide();
            Command(shown ? "mnuPopupItem1" : "mnuPopupItem0");
            QCOMPARE(m_window->isVisible(), !shown);
        }
    }

    // Whatever the server was started with, OK in the settings window brings the running server
    // in line with the new values.
    void settingsTakeEffect_data()
    {
        QTest::addColumn<QStringList>("first");  // settings window edits, then OK
        QTest::addColumn<QStringList>("second"); // edits in a second visit
        QTest::addColumn<QByteArray>("password"); // the sender's
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("caption"); // suffix
        const QStringList secure{"chkCrypt", "", "txtPassword", "old", "txtPassword2", "old"};
        QTest::newRow("secure only ticked: plain refused") << (secure + QStringList{"chkAcceptSecure", ""}) << QStringList()
                                                           << QByteArray() << "refused" << " [secure only, sealed]";
        // The second visit shows the stored cipher: OK there keeps it.
        QTest::newRow("secure, legacy: plain taken") << (secure + QStringList{"cmbCipher", "1"}) << QStringList{"txtTimeout", "3"}
                                                     << QByteArray() << "OK" << " [secure, legacy]";
        QTest::newRow("secure only ticked later: plain refused") << secure << QStringList{"chkAcceptSecure", ""} << QByteArray()
                                                                 << "refused" << " [secure only, sealed]";
        QTest::newRow("password changed, encrypt kept: new taken")
            << secure << QStringList{"txtPassword", "new", "txtPassword2", "new"} << QByteArray("new") << "OK" << " [secure, sealed]";
        QTest::newRow("encrypt turned off: plain taken") << (secure + QStringList{"chkAcceptSecure", ""}) << QStringList{"chkCrypt", ""}
                                                         << QByteArray() << "OK" << "";
    }
    void settingsTakeEffect()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QByteArray, password);
        QFETCH(QString, caption);
        StartedWindow();
        EditSettings(first);
        if (!second.isEmpty())
            EditSettings(second);
        QTEST(Outcome("hello", password), "outcome");
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Textdrop v0.1.49") + caption);
    }

    void changedTimeoutTakesEffect()
    {
        Store().setValue(QStringLiteral("Settings/ServerTimeout"), QStringLiteral("1000"));
        ListenOnLoopback();
        MakeWindow(frmMain::TrayPresence::Present, 5).StartServer();
        EditSettings({"txtTimeout", "0"});
        const std::unique_ptr<QTcpSocket> silent = Dial(Port());
        // 1001 ticks of 5 ms under the old time-out; one tick under the new.
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QStringLiteral("Timeout waiting on 127.0.0.1"), 2000);
    }

    // One letter under half a million accents: shown by its start at once, the next sender
    // answered at once, the whole pile copied while the board is not edited.
    void accentPileNeitherStallsNorIsCut()
    {
        StartedWindow().show();
        const QString pile = QLatin1Char('e') + QString(512 * 1024 - 1, QChar(0x301));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(Outcome(pile.toUtf8()), QStringLiteral("OK"));
        Board()->viewport()->repaint();
        Board()->selectAll();
        Board()->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), pile);
        Board()->moveCursor(QTextCursor::End);
        QTest::keyClicks(Board(), QStringLiteral("!")); // edited: the board holds what it shows
        Click("cmdCopy");
        QCOMPARE(QGuiApplication::clipboard()->text(), pile.left(::Board::LongestShownCluster) + QLatin1Char('!'));
        QCOMPARE(Outcome("next"), QStringLiteral("OK"));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed()))); // laid out whole: tens of seconds
    }

    void droppedFilesAppended()
    {
        MakeWindow();
        Board()->setPlainText(QStringLiteral("start|"));
        // Dragged over the board: text is refused, files are taken.
        const auto over = [this](QMimeData &data) {
            QDragEnterEvent event(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            return QApplication::sendEvent(Board()->viewport(), &event) && event.isAccepted();
        };
        QMimeData text;
        text.setText(QStringLiteral("dragged text"));
        QVERIFY(!over(text));
        QVERIFY(Write(m_program->filePath(QStringLiteral("a.txt")), "one|") && Write(m_program->filePath(QStringLiteral("b.txt")), "two|"));
        QMimeData files;
        const QString missing = m_program->filePath(QStringLiteral("gone.txt")); // its failure must not read " Loaded "
        files.setUrls({QUrl::fromLocalFile(m_program->filePath(QStringLiteral("b.txt"))), QUrl::fromLocalFile(m_program->path()),
                       QUrl::fromLocalFile(m_program->filePath(QStringLiteral("a.txt"))), QUrl::fromLocalFile(missing)});
        QVERIFY(over(files));
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        // An event waiting meanwhile (here a timer standing in for a message) runs after the drop.
        QTimer::singleShot(0, Board(), [this] { Board()->setPlainText(QStringLiteral("intruder|")); });
        QApplication::sendEvent(Board()->viewport(), &drop);
        QCOMPARE(Board()->toPlainText(), QStringLiteral("start|two|one|"));
        QCOMPARE(Status(), QStringLiteral("Error loading ") + missing);
        QTRY_COMPARE(Board()->toPlainText(), QStringLiteral("intruder|"));
        QCOMPARE(m_messages.size(), 1);
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
