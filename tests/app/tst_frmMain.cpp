#include "FakeDialogRunner.h"
#include "LoopbackReceiver.h"
#include "ScriptedReceiver.h"
#include "TestFiles.h"
#include "WindowTestHome.h"
#include "app/AddressBox.h"
#include "app/AppController.h"
#include "app/Board.h"
#include "app/MessageDesk.h"
#include "app/frmMain.h"
#include "core/HistoryModel.h"
#include "core/InstalledFolder.h"
#include "desktop/CTray.h"
#include "protocol/CZaridoDovoServer.h"
#include "phone/PhoneServer.h"
#include "windows/frmHistory.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <optional>


using Direction = HistoryStore::Direction;
using namespace WindowTestHome;
using TestFiles::Read;
using TestFiles::Write;

class tst_frmMain : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        WindowTestHome::Enter();
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); // no desktop's notifications
    }

private:
    // Message boxes recorded, the program folder (holding the address list) temporary.
    frmMain::Environment Surroundings(frmMain::TrayPresence tray = frmMain::TrayPresence::Present, int tick = 0)
    {
        const auto record = [this](const QString &text, QMessageBox::Icon) { m_messages.append(text); };
        return {record, tray, m_program->path(), tick, HistoryFile()};
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

    QString HistoryFile() const { return m_program->filePath(QStringLiteral("history.sqlite")); }
    template <typename T> T *Control(const char *name, QWidget *in = nullptr)
    {
        return (in ? in : m_window.get())->findChild<T *>(QLatin1String(name));
    }
    QPlainTextEdit *Board() { return Control<QPlainTextEdit>("txtBoard"); }
    AddressBox *Box() { return Control<AddressBox>("cmbIP"); }
    void Click(const char *button) { QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton); }
    void Command(const char *action) { Control<QAction>(action)->trigger(); }
    int Port() { return m_window->Controller().Server()->LocalPort(); }
    QString Outcome(const QByteArray &bytes, const QByteArray &password = {}) { return Send(Port(), bytes, password); }
    bool Deliver(const QByteArray &bytes) { return Outcome(bytes) == QLatin1String("OK"); }

    // Clicks the button and waits for the window's send to be answered "OK".
    bool SendFrom(QWidget *window, const char *button)
    {
        QSignalSpy sent(m_window->Controller().Client(), &CZaridoDovoClient::MessageSent);
        QTest::mouseClick(Control<QPushButton>(button, window), Qt::LeftButton);
        return sent.wait();
    }

    // Direction, peer, cipher and whole text of each message in the history, newest first.
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

    // Settings set in the window are written by OK and taken by the server at once; a new sender
    // joins the address list once and is chosen; File -> Exit writes the settings (the password
    // never) and the list as read, blank lines out, with the new ones after; the next start reads
    // them back, and pairing listens where they say.
    void quitWritesSettingsAndAddresses()
    {
        QVERIFY(Write(m_program->filePath(QStringLiteral("tdsettings.ini")), "127.0.0.3\r\n\r\n  10.0.0.6 \r\n127.0.0.3\r\n"));
        const QString port = QString::number(FreePort()), phonePort = QString::number(FreePort());
        const QString path = m_program->filePath(QStringLiteral("inbox/"));
        StartedWindow();
        EditSettings({"txtIP", Loopback, "txtPort", port, "txtTimeout", "7", "txtPath", path, "txtPhonePort", phonePort});
        QCOMPARE(Store().value(QStringLiteral("Settings/ServerTimeout")).toString(), QStringLiteral("7")); // written by OK
        m_window->Controller().AppSettings().Security.SetPassword(QStringLiteral("sesame-secret"));
        m_window->Controller().AppSettings().Stored.Cipher = ZaridoDovo::Cipher::Legacy;
        QCOMPARE(Port(), port.toInt());
        for (const QString sender : {"127.0.0.1", "127.0.0.2", "127.0.0.1", "127.0.0.3"}) {
            QVERIFY(DeliverFrom(sender, sender.toLatin1()));
            QCOMPARE(Box()->currentText(), sender);
        }
        Command("mnuFileItem5"); // E&xit
        QVERIFY(!Read(Store().fileName()).contains("sesame-secret"));
        QCOMPARE(Read(m_window->Controller().Run().AddressFile), QByteArray("127.0.0.3\r\n10.0.0.6\r\n127.0.0.3\r\n127.0.0.1\r\n127.0.0.2\r\n"));
        m_window.reset();
        MakeWindow().StartServer();
        QCOMPARE(Port(), port.toInt());
        QCOMPARE(m_window->Controller().AppSettings().Stored.Cipher, ZaridoDovo::Cipher::Legacy);
        QCOMPARE(EditSettings({}), (QStringList{Loopback, port, QStringLiteral("7"), path, phonePort}));
        Command("mnuToolsItem5");
        QCOMPARE(m_window->findChild<PhoneServer *>()->Port(), phonePort.toInt());
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

    // The reply words themselves are the client's; the window shows a refusal with its
    // explanation, and keeps the text for another try.
    void sendRefusalSaysWhatItMeans()
    {
        ScriptedReceiver peer(ScriptedReceiver::ReplyThenClose, 9, "BAD");
        StartedWindow().Controller().AppSettings().Stored.ServerPort = peer.Port();
        Box()->setEditText(Loopback);
        Board()->setPlainText(QStringLiteral("x"));
        Click("cmdSend");
        QTRY_COMPARE(Status(), QStringLiteral("Remote Server Error: BAD \u2014 the receiver could not read the message: it has "
                                              "a different password, or it accepts enciphered messages only"));
        QCOMPARE(Board()->toPlainText(), QStringLiteral("x"));
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
        QTest::newRow("Ctrl+Enter sends") << int(Qt::Key_Return) << int(Qt::ControlModifier) << "cmbIP" << 1;
        QTest::newRow("keypad Ctrl+Enter sends") << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier) << "cmbIP" << 1;
        QTest::newRow("Enter is a new line") << int(Qt::Key_Return) << 0 << "txtBoard" << 0;
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

    // Answered before any window exists: no display needed.
    void helpNeedsNoDisplay()
    {
        QProcess running;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        running.setProcessEnvironment(env);
        running.start(QStringLiteral(TEXTDROP_PROGRAM_PATH), {QStringLiteral("--help")});
        QVERIFY(running.waitForFinished(10000));
        QCOMPARE(running.exitCode(), 0);
        QVERIFY(running.readAllStandardOutput().contains("--hidden"));
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
        // Dragged over the board: files are taken.
        const auto over = [this](QMimeData &data) {
            QDragEnterEvent event(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            return QApplication::sendEvent(Board()->viewport(), &event) && event.isAccepted();
        };
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

    // The window's arrivals, drafts and history; the history's own rules are the store's and the
    // recorder's tests.
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
        ::Board board;
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
    // aside (in the history) until Show, even when found on the network (announcing is open to
    // anyone); a blocked one gets "BAD" whatever the choice.
    void newSenders_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QString>("remembered"); // the address list
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<bool>("show"); // the notification's Show chosen
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("board");
        QTest::addColumn<int>("history");
        QTest::newRow("remembered: on the board") << true << "127.0.0.1" << "" << false << QByteArray("OK") << "hello" << 1;
        QTest::newRow("new: kept aside") << true << "" << "" << false << QByteArray("OK") << "" << 1;
        QTest::newRow("new, then Show: on the board") << true << "" << "" << true << QByteArray("OK") << "hello" << 1;
        QTest::newRow("blocked: BAD") << false << "127.0.0.1" << "10.0.0.9 127.0.0.1" << false << QByteArray("BAD") << "" << 0;
    }
    void newSenders()
    {
        QFETCH(QString, remembered);
        QFETCH(QByteArray, reply);
        QVERIFY(Write(m_program->filePath(QStringLiteral("tdsettings.ini")), remembered.toLatin1() + "\r\n"));
        QFETCH(bool, ask);
        Store().setValue(QStringLiteral("Preferences/AskNewSenders"), ask);
        QFETCH(QString, blocked);
        Store().setValue(QStringLiteral("Preferences/BlockedSenders"), blocked);
        StartedWindow();
        Box()->SetPeers({Peer{"desk-3", Loopback, quint16(Port()), false, {}}});
        const QByteArray answer = Exchange(Port(), Frame("hello"));
        QVERIFY2(answer.endsWith(reply), answer.constData());
        QFETCH(bool, show);
        if (show)
            m_window->Desk().ShowSender(Loopback);
        QTEST(Board()->toPlainText(), "board");
        QTEST(int(Listing().size()), "history");
    }

    // Through the window: the draft an arrival or Clear (as File -> New) takes off the board is in
    // the history, Edit -> Undo brings it back and Redo takes it again; the destination typed
    // stays, and the clipboard is left alone unless asked.
    void arrivalOverTypedText_data()
    {
        QTest::addColumn<bool>("copyReceived");
        QTest::addColumn<QString>("command"); // none: a message arrives
        QTest::newRow("clipboard left alone by default") << false << "";
        QTest::newRow("arrival copied to the clipboard") << true << "";
        QTest::newRow("Clear keeps the draft too") << true << "cmdClear";
    }
    void arrivalOverTypedText()
    {
        QFETCH(bool, copyReceived);
        QFETCH(QString, command);
        if (copyReceived)
            Store().setValue(QStringLiteral("Preferences/CopyReceived"), true);
        QGuiApplication::clipboard()->setText(QStringLiteral("mine"));
        StartedWindow();
        Board()->setFocus();
        QTest::keyClicks(Board(), QStringLiteral("half a thought"));
        Box()->setEditText(QStringLiteral("10.20.30.40"));
        const QString arrived = command.isEmpty() ? QStringLiteral("from af\u00e4r") : QString();
        QStringList listing{Row(Direction::Draft, QStringLiteral("10.20.30.40"), {}, QStringLiteral("half a thought"))};
        if (command.isEmpty()) {
            QVERIFY(Deliver("from af\xc3\xa4r"));
            listing.prepend(Row(Direction::Received, Loopback, {}, arrived));
        } else {
            QTest::mouseClick(Control<QPushButton>(qPrintable(command)), Qt::LeftButton);
        }
        QTRY_COMPARE(Board()->toPlainText(), arrived);
        QCOMPARE(QGuiApplication::clipboard()->text(), copyReceived && command.isEmpty() ? arrived : QStringLiteral("mine"));
        QCOMPARE(Box()->currentText(), QStringLiteral("10.20.30.40"));
        QCOMPARE(Listing(), listing);
        Control<QAction>("mnuEditItem7")->trigger();
        QCOMPARE(Board()->toPlainText(), QStringLiteral("half a thought"));
        QTest::keyClick(Board(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); // Redo
        QCOMPARE(Board()->toPlainText(), arrived);
    }

    // Sent again from the history window with a password: it goes out enciphered, comes back,
    // and both directions are kept, marked as enciphered, as the settings allow; a limit set
    // later applies to the open history at once.
    void historyWindowSendsAgain()
    {
        Store().setValue(QStringLiteral("Preferences/KeepEnciphered"), true);
        ListenOnLoopback();
        MakeWindow().Controller().AppSettings().Security.SetPassword(QStringLiteral("sesame"));
        m_window->StartServer();
        QVERIFY(Deliver("alpha one") && Deliver("beta two"));
        Control<QAction>("mnuToolsItem4")->trigger();
        frmHistory *history = m_window->Desk().HistoryWindow();
        QVERIFY(history && history->isVisible());
        auto *table = Control<QTableView>("tblHistory", history);
        table->selectRow(1);
        QCOMPARE(Control<QLineEdit>("txtAddress", history)->text(), Loopback);
        QVERIFY(SendFrom(history, "cmdSendAgain"));
        const QString sent = Row(Direction::Sent, Loopback, "secure", QStringLiteral("alpha one"));
        QCOMPARE(Listing().mid(0, 2), (QStringList{sent, Row(Direction::Received, Loopback, "secure", QStringLiteral("alpha one"))}));
        QCOMPARE(table->model()->rowCount(), 4); // the window follows
        m_window->Controller().AppSettings().Prefs.HistoryCount = 1;
        m_window->Controller().ApplySettings();
        QCOMPARE(Listing(), QStringList{sent});
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
        QVERIFY(HistoryStore().Open(HistoryFile()));
        std::optional<TestFiles::SqliteLock> lock;
        if (locked)
            QVERIFY(lock.emplace(HistoryFile()).Locked());
        else
            QVERIFY(TestFiles::Corrupt(HistoryFile()));
        StartedWindow();
        QVERIFY(Deliver("first"));
        QCOMPARE(Board()->toPlainText(), QStringLiteral("first"));
        if (locked) {
            QVERIFY(Status().contains(QStringLiteral("history not written")));
            QVERIFY(Deliver("second"));
            QCOMPARE(Board()->toPlainText(), QStringLiteral("second"));
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
        StartedWindow().Desk().SetCheckpointDelay(300);
        const QFileInfo log(HistoryFile() + "-wal");
        QVERIFY(Deliver("into the log"));
        QTRY_VERIFY(QFileInfo(log.filePath()).size() > 0);
        QTRY_COMPARE(QFileInfo(log.filePath()).size(), 0);
    }

    // The list by keyboard: focus selects the newest; each key acts on the selected message,
    // which stays selected when the list is read again.
    void historyListKeys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("stored"); // once the window closed
        QTest::newRow("Enter: on the board") << "Return" << "three" << "before" << 3 << 3;
        QTest::newRow("Ctrl+C: the text, not its time") << "Ctrl+C" << "" << "three" << 3 << 3;
        QTest::newRow("Delete: gone at the close") << "Del" << "" << "before" << 2 << 2;
        QTest::newRow("Delete: gone when the window goes unclosed") << "Del" << "" << "before" << 2 << 2;
        QTest::newRow("Delete, Ctrl+Z: back") << "Del, Ctrl+Z" << "" << "before" << 3 << 3;
    }
    void historyListKeys()
    {
        QFETCH(QString, keys);
        HistoryStore store;
        QVERIFY(store.Open(HistoryFile()));
        for (const char *text : {"one", "two", "three"})
            QVERIFY(store.Record(HistoryStore::Entry{0, {}, Direction::Received, Loopback, {}, text}));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        auto window = std::make_unique<frmHistory>(store);
        QSignalSpy board(window.get(), &frmHistory::PutOnBoard);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto *table = Control<QTableView>("tblHistory", window.get());
        table->setFocus(Qt::TabFocusReason);
        QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 0);
        const QKeySequence sequence(keys);
        for (int i = 0; i < sequence.count(); ++i)
            QTest::keyClick(table, sequence[i].key(), sequence[i].keyboardModifiers());
        QTEST(board.isEmpty() ? QString() : QString::fromUtf8(board.at(0).at(0).toByteArray()), "board");
        QTEST(QGuiApplication::clipboard()->text(), "clipboard");
        QTEST(window->Model().rowCount(), "rows");
        window->Reload(); // as a new message would
        QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
        if (QString(QTest::currentDataTag()).contains("unclosed"))
            window.reset(); // the program ends without closing it
        else
            window->close();
        QTEST(int(store.Count()), "stored");
    }

    // Clearing asks first: No keeps the history (Yes is the store's Clear).
    void clearHistoryAsksFirst()
    {
        HistoryStore store;
        QVERIFY(store.Open(HistoryFile()) && store.Record(HistoryStore::Entry{}));
        int asked = 0;
        frmHistory window(store, nullptr, [&](QWidget *, const QString &) {
            ++asked;
            return false;
        });
        QTest::mouseClick(Control<QPushButton>("cmdClearHistory", &window), Qt::LeftButton);
        QVERIFY(asked == 1 && store.Count() == 1 && window.Model().rowCount() == 1);
    }

    // The remembered addresses go beside a portable copy, never beside an installed one, even
    // where /usr/bin is writable (as root).
    void addressFileFolder()
    {
        const QString dataFolder = m_program->filePath("share/Textdrop");
        QTemporaryDir portable;
        QCOMPARE(AppController::AppFolderFor(portable.path(), dataFolder), QDir::toNativeSeparators(portable.path() + "/"));
        QVERIFY(!QFileInfo::exists(dataFolder));
        QCOMPARE(AppController::AppFolderFor("/usr/lib/../bin/", dataFolder), QDir::toNativeSeparators(dataFolder + "/"));
        QVERIFY(QFileInfo(dataFolder).isDir());
        // A custom prefix's bin counts as installed, the prefix itself does not.
        QVERIFY(QDir(portable.path()).mkpath("bin"));
        QVERIFY(IsInstalledFolder(portable.filePath("bin") + "/", portable.path() + "/./bin"));
        QVERIFY(!IsInstalledFolder(portable.path(), portable.filePath("bin")));
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
