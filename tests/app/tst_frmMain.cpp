#include "WindowTestHome.h"
#include "FakeDialogRunner.h"
#include "app/AppController.h"
#include "app/Board.h"
#include "app/frmMain.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "desktop/CTray.h"
#include "phone/PhoneServer.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <memory>

#include <sys/resource.h>

namespace {

using namespace WindowTestHome;

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QStringList Entries(const QComboBox *box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries.append(box->itemText(i));
    return entries;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

public:
    // Settings store, data and lock files in a temporary home (created 0700) for the whole run;
    // counts and times in the United States' notation.
    static void initMain() { WindowTestHome::Enter(); }

private:
    // Message boxes recorded, the program folder (holding the address list) temporary.
    frmMain::Environment Surroundings(frmMain::TrayPresence tray = frmMain::TrayPresence::Present)
    {
        const auto record = [this](const QString &text, QMessageBox::Icon icon) { m_messages.append(QString::number(int(icon)) + QLatin1Char(' ') + text); };
        return frmMain::Environment{record, tray, m_program->path(), 0, m_program->filePath(QStringLiteral("history.sqlite"))};
    }

    frmMain &MakeWindow(frmMain::TrayPresence tray = frmMain::TrayPresence::Present)
    {
        m_window = std::make_unique<frmMain>(Surroundings(tray));
        return *m_window;
    }

    // A window listening on the loopback address, on a free port by default (one the settings
    // window accepts as it is).
    frmMain &StartedWindow(frmMain::TrayPresence tray = frmMain::TrayPresence::Present, int port = 0)
    {
        Store().setValue(QStringLiteral("Settings/ServerIP"), Loopback);
        Store().setValue(QStringLiteral("Settings/ServerPort"), QString::number(port ? port : FreePort()));
        MakeWindow(tray).StartServer();
        return *m_window;
    }

    template <typename T> T *Control(const char *name) { return m_window->findChild<T *>(QLatin1String(name)); }
    QPlainTextEdit *Board() { return Control<QPlainTextEdit>("txtBoard"); }
    QComboBox *Box() { return Control<QComboBox>("cmbIP"); }
    void Click(const char *button) { QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton); }

    // The status line's full text after its time stamp and ": ".
    QString Status()
    {
        static const QRegularExpression stamp(QStringLiteral("^ \\d\\d:\\d\\d:\\d\\d (AM|PM): "));
        const QString status = Control<QLabel>("lblStatus")->toolTip();
        const QRegularExpressionMatch match = stamp.match(status);
        return match.hasMatch() ? status.mid(match.capturedLength()) : QStringLiteral("<no time stamp> ") + status;
    }

    // Sends bytes to the window's server from a loopback client; true once the window said "OK".
    bool Deliver(const QByteArray &bytes)
    {
        CZaridoDovoClient sender;
        QSignalSpy sent(&sender, &CZaridoDovoClient::MessageSent);
        sender.SendMessage(Loopback, m_window->Controller().Server()->LocalPort(), bytes);
        return sent.wait();
    }


    // Tools -> Settings: applies the edits ({"txtPort", "4000", "chkCrypt", "", ...}: a check box
    // named with an empty text is clicked, a field gets the text typed), then clicks OK.
    // Returns what the window's fields held on opening.
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
                auto *field = dialog.findChild<QLineEdit *>(edits[i]);
                field->clear();
                QTest::keyClicks(field, edits[i + 1]);
            }
            dialog.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
            return dialog.result();
        });
        Control<QAction>("mnuToolsItem0")->trigger();
        for (const FakeDialogRunner::Message &message : runner.messages)
            qWarning() << "settings window refused:" << message.text;
        return opened;
    }

    // Sends bytes from a loopback client with the password; the reply word, or the client's error.
    QString Outcome(int port, const QByteArray &bytes, const QByteArray &password = {})
    {
        CZaridoDovoClient sender;
        QSignalSpy sent(&sender, &CZaridoDovoClient::MessageSent);
        QSignalSpy refused(&sender, &CZaridoDovoClient::MessageError);
        QSignalSpy failed(&sender, &CZaridoDovoClient::Error);
        sender.SendMessage(Loopback, port, bytes, password);
        if (!QTest::qWaitFor([&] { return sent.count() + refused.count() + failed.count() > 0; }))
            return QStringLiteral("<no outcome>");
        if (sent.count())
            return QStringLiteral("OK");
        if (refused.count())
            return QStringLiteral("refused");
        return QStringLiteral("error");
    }

    // Sends a plain frame from the given loopback address, as a peer on another host would; to
    // the window's receiver unless a port is given.
    bool DeliverFrom(const QString &source, const QByteArray &bytes, int port = 0)
    {
        QTcpSocket peer;
        if (!peer.bind(QHostAddress(source)))
            return false;
        peer.connectToHost(QHostAddress::LocalHost, port ? port : m_window->Controller().Server()->LocalPort());
        const char length[3] = {char(bytes.size() >> 16), char(bytes.size() >> 8), char(bytes.size())};
        peer.write(QByteArray("STALK") + QByteArray(length, 3) + bytes);
        return QTest::qWaitFor([&] { return peer.bytesAvailable() >= 10 || peer.state() == QAbstractSocket::UnconnectedState; })
               && peer.readAll().endsWith("OK");
    }

    QStringList m_messages; // icon number, a space, the text
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

    void serverStartFailureReported()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        StartedWindow(frmMain::TrayPresence::Present, occupant.serverPort());
        QCOMPARE(Status(), QStringLiteral("Server failed to start on 127.0.0.1:%1 \u2014 see the log").arg(occupant.serverPort()));
    }

    void captionShowsTheMode_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("secureOnly");
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<QString>("caption");
        QTest::newRow("first start: plain") << QString() << false << false << QStringLiteral("Textdrop v0.1.49");
        QTest::newRow("plain, legacy chosen") << QString() << false << true << QStringLiteral("Textdrop v0.1.49");
        QTest::newRow("password") << QStringLiteral("pw") << false << false << QStringLiteral("Textdrop v0.1.49 [secure, sealed]");
        QTest::newRow("password, legacy") << QStringLiteral("pw") << false << true << QStringLiteral("Textdrop v0.1.49 [secure, legacy]");
        QTest::newRow("password, secure only") << QStringLiteral("pw") << true << false << QStringLiteral("Textdrop v0.1.49 [secure only, sealed]");
    }
    void captionShowsTheMode()
    {
        QFETCH(QString, password);
        QFETCH(bool, secureOnly);
        QFETCH(bool, legacy);
        QFETCH(QString, caption);
        frmMain &window = StartedWindow();
        window.Controller().AppSettings().Stored.Cipher = legacy ? ZaridoDovo::Cipher::Legacy : ZaridoDovo::Cipher::Sealed;
        QCOMPARE(window.Controller().AppSettings().Stored.ServerTimeout, 2);
        window.Controller().AppSettings().Security.CryptPassword = password;
        window.Controller().AppSettings().Security.AcceptSecureOnly = secureOnly;
        window.Controller().Server()->StopServer();
        window.StartServer();
        QCOMPARE(window.windowTitle(), caption);
        QVERIFY2(Status().startsWith(QStringLiteral("Server started on 127.0.0.1:")), qPrintable(Status()));
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

    void secondCopyRefused()
    {
        frmMain &running = MakeWindow();
        frmMain second(Surroundings());
        QVERIFY(!running.Controller().Run().AlreadyRunning && second.Controller().Run().AlreadyRunning && !second.Controller().Server());
        QCOMPARE(m_messages, QStringList{QStringLiteral("0 Another instance of Textdrop is currently running.\n\n"
                                                        "This instance will shutdown automatically.")});
        // Even a quit command on the refused copy writes nothing.
        second.findChild<QAction *>(QStringLiteral("mnuFileItem5"))->trigger();
        QVERIFY(Store().allKeys().isEmpty());
        QVERIFY(!QFileInfo::exists(running.Controller().Run().AddressFile));
    }

    void quitWritesSettingsAndAddresses()
    {
        WriteFile(m_program->filePath(QStringLiteral("tdsettings.ini")), "10.0.0.5\r\n\r\n  10.0.0.6 \r\n10.0.0.5\r\n");
        MakeWindow().Controller().AppSettings().Security.CryptPassword = QStringLiteral("sesame-secret");
        m_window->Controller().AppSettings().Stored.Cipher = ZaridoDovo::Cipher::Legacy;
        Box()->addItem(QStringLiteral("host.lan"));
        Control<QAction>("mnuFileItem5")->trigger(); // E&xit
        QSettings store = Store();
        store.beginGroup(QStringLiteral("Settings"));
        QCOMPARE(store.allKeys(), (QStringList{"Cipher", "LogPath", "ServerIP", "ServerPort", "ServerTimeout"}));
        store.endGroup();
        // The password is never among the preferences either.
        QCOMPARE(store.childGroups(), (QStringList{"Preferences", "Security", "Settings"}));
        QCOMPARE(Store().value("Settings/Cipher").toString(), QStringLiteral("legacy"));
        // The next run reads the choice back.
        StoredSettings next;
        next.Load();
        QCOMPARE(next.Cipher, ZaridoDovo::Cipher::Legacy);
        QVERIFY(!ReadFile(Store().fileName()).contains("sesame-secret"));
        QCOMPARE(ReadFile(m_window->Controller().Run().AddressFile), QByteArray("10.0.0.5\r\n10.0.0.6\r\n10.0.0.5\r\nhost.lan\r\n"));
    }

    void quitOnFullDiskKeepsAddressFile()
    {
        const QString path = m_program->filePath(QStringLiteral("tdsettings.ini"));
        WriteFile(path, "10.0.0.1\r\n");
        MakeWindow();
        Box()->addItems(QStringList(20, QStringLiteral("192.168.100.100")));
        // A file size limit stands in for a full disk: writes past 64 bytes fail.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{64, saved.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        Control<QAction>("mnuFileItem5")->trigger();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(ReadFile(path), QByteArray("10.0.0.1\r\n"));
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
        QTest::newRow("1234 characters") << QByteArray(1234, 'x') << QString(1234, u'x') << QStringLiteral("saved/") << QString();
        QTest::newRow("folder below a file: shown all the same")
            << QByteArray("keep me") << QStringLiteral("keep me") << QStringLiteral("blocker/saved/") << QStringLiteral(" \u2014 not saved: ");
    }

    void messageReachesBoardStatusListAndFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, board);
        QFETCH(QString, folder);
        QFETCH(QString, notSaved);
        WriteFile(m_program->filePath(QStringLiteral("blocker")), "");
        QVERIFY(QDir(m_program->path()).mkdir(QStringLiteral("saved")));
        StartedWindow().Controller().AppSettings().Stored.LogPath = m_program->filePath(folder);
        QVERIFY(Deliver(bytes)); // the sender was told "OK"

        QCOMPARE(Board()->toPlainText(), board);
        // The status counts the bytes that travelled, as the sender does; the board's counter characters.
        const QString status = QLocale().toString(bytes.size()) + QStringLiteral(" bytes from (127.0.0.1)") + notSaved;
        QVERIFY2(notSaved.isEmpty() ? Status() == status : Status().startsWith(status), qPrintable(Status()));
        QCOMPARE(Control<QLabel>("lblBytes")->text(), QLocale().toString(board.size()));
        QCOMPARE(Entries(Box()), QStringList{Loopback});
        const QStringList files = QDir(m_program->filePath(QStringLiteral("saved"))).entryList(QDir::Files);
        QCOMPARE(files.size(), notSaved.isEmpty() ? 1 : 0);
        if (!files.isEmpty())
            QCOMPARE(ReadFile(m_program->filePath(QStringLiteral("saved/")) + files.at(0)), bytes + "\r\n");
    }

    void sendFailureSaysWhatHappened_data()
    {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QByteArray>("reply"); // empty: the peer hangs up without one
        QTest::addColumn<QString>("status");   // %1: the peer's port
        QTest::newRow("empty board") << QString() << QByteArray("OK") << QStringLiteral("Nothing was sent: there is nothing to send");
        QTest::newRow("BAD") << QStringLiteral("x") << QByteArray("BAD")
                             << QStringLiteral("Remote Server Error: BAD \u2014 the receiver could not read the message: it has "
                                               "a different password, or it accepts enciphered messages only");
        QTest::newRow("MAXSIZE") << QStringLiteral("x") << QByteArray("MAXSIZE")
                                 << QStringLiteral("Remote Server Error: MAXSIZE \u2014 the receiver takes at most 1 MiB");
        QTest::newRow("a word nobody knows") << QStringLiteral("x") << QByteArray("HUH") << QStringLiteral("Remote Server Error: HUH");
        QTest::newRow("hangs up without a reply")
            << QStringLiteral("x") << QByteArray()
            << QStringLiteral("Send Error #1 - no answer from 127.0.0.1:%1: the connection ended before a reply");
    }

    void sendFailureSaysWhatHappened()
    {
        QFETCH(QString, board);
        QFETCH(QByteArray, reply);
        QFETCH(QString, status);
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        connect(&peer, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *socket = peer.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [=] {
                if (socket->bytesAvailable() < 9)
                    return;
                if (!reply.isEmpty())
                    socket->write("STALK" + QByteArray(2, '\0') + char(reply.size()) + reply);
                socket->disconnectFromHost();
            });
        });
        StartedWindow().Controller().AppSettings().Stored.ServerPort = peer.serverPort();
        Box()->setEditText(Loopback);
        Board()->setPlainText(board);
        Click("cmdSend");
        QTRY_COMPARE(Status(), status.arg(peer.serverPort()));
        QCOMPARE(Board()->toPlainText(), board); // kept for another try
    }

    void sendReportsBytesSent()
    {
        CZaridoDovoServer peer;
        QVERIFY(peer.StartServer(Loopback, 0, 2, "p\xc3\xa4ss", true, ZaridoDovo::Cipher::Legacy));
        QSignalSpy received(&peer, &CZaridoDovoServer::MessageReceived);
        MakeWindow().Controller().AppSettings().Stored.ServerPort = peer.LocalPort();
        m_window->Controller().AppSettings().Security.CryptPassword = QStringLiteral("p\u00e4ss");
        Box()->setEditText(Loopback);
        Board()->setPlainText(QStringLiteral("a\u00e9c\nd"));
        Click("cmdSend");
        QVERIFY(received.wait());
        QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("a\xc3\xa9\x63\r\nd"));
        QTRY_VERIFY2(QRegularExpression(QStringLiteral("^7 bytes sent in \\d+\\.\\d\\d seconds$")).match(Status()).hasMatch(), qPrintable(Status()));
    }

    void nothingReceivedOnlyForSilentConnection()
    {
        const int port = StartedWindow().Controller().Server()->LocalPort();
        QSignalSpy received(m_window->Controller().Server(), &CZaridoDovoServer::MessageReceived);
        // A peer that sends a message and hangs up at once is no silent connection.
        QTcpSocket hasty;
        hasty.connectToHost(QHostAddress::LocalHost, port);
        hasty.write(QByteArray("STALK\0\0\4data", 12)); // goes out once connected, before the close
        hasty.disconnectFromHost();
        QTRY_VERIFY(received.count() > 0);
        QTRY_COMPARE(hasty.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(Status(), QStringLiteral("4 bytes from (127.0.0.1)"));

        QTcpSocket silent;
        silent.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(Status(), QStringLiteral("Connection from 127.0.0.1"));
        silent.disconnectFromHost();
        QTRY_COMPARE(Status(), QStringLiteral("Nothing received from 127.0.0.1"));
    }

    void closeWithoutTrayMinimises()
    {
        StartedWindow(frmMain::TrayPresence::Absent).show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible() && m_window->isMinimized());
        QVERIFY(!Store().contains(QStringLiteral("Settings/ServerTimeout"))); // nothing saved
        QVERIFY(Deliver("still here"));
    }

    void addressBoxKeys_data()
    {
        QTest::addColumn<int>("selected"); // chosen before typing; the list is 10.0.0.1, host
        QTest::addColumn<QString>("typed"); // then the caret goes to the start
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        const QStringList list{QStringLiteral("10.0.0.1"), QStringLiteral("host")};
        QTest::newRow("enter, text listed: nothing more") << -1 << QStringLiteral("host") << int(Qt::Key_Return) << list << QStringLiteral("host") << -1;
        QTest::newRow("enter, new text appended, selected") << -1 << QStringLiteral("10.0.0.9") << int(Qt::Key_Return) << (list + QStringList{"10.0.0.9"}) << QStringLiteral("10.0.0.9") << 2;
        QTest::newRow("enter, case differs") << -1 << QStringLiteral("HOST") << int(Qt::Key_Enter) << (list + QStringList{"HOST"}) << QStringLiteral("HOST") << 2;
        QTest::newRow("enter, empty box") << -1 << QString() << int(Qt::Key_Return) << (list + QStringList{""}) << QString() << 2;
        QTest::newRow("delete, entry selected: removed, then edits") << 0 << QString() << int(Qt::Key_Delete) << QStringList{"host"} << QStringLiteral("0.0.0.1") << -1;
        QTest::newRow("delete, nothing selected: edits") << -1 << QStringLiteral("abc") << int(Qt::Key_Delete) << list << QStringLiteral("bc") << -1;
        QTest::newRow("delete, chosen entry edited since: edits") << 1 << QStringLiteral("x") << int(Qt::Key_Delete) << list << QStringLiteral("ostx") << 1;
    }

    void addressBoxKeys()
    {
        QFETCH(int, selected);
        QFETCH(QString, typed);
        QFETCH(int, key);
        MakeWindow();
        Box()->addItems({QStringLiteral("10.0.0.1"), QStringLiteral("host")});
        Box()->setCurrentIndex(selected);
        QTest::keyClicks(Box(), typed);
        Box()->lineEdit()->home(false);
        QTest::keyClick(Box(), Qt::Key(key));
        QTEST(Entries(Box()), "entries");
        QTEST(Box()->currentText(), "text");
        QTEST(Box()->currentIndex(), "index");
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

    void documentsThroughFileMenu()
    {
        MakeWindow();
        FakeDialogRunner runner;
        // A File menu entry, the file dialog answered with the file's name.
        const auto command = [&](const char *entry, const QString &name) {
            const QString path = m_program->filePath(name);
            runner.Queue([path](QDialog &dialog) { return dynamic_cast<QFileDialog &>(dialog).selectFile(path), int(QDialog::Accepted); });
            Control<QAction>(entry)->trigger();
            return path;
        };
        Board()->setPlainText(QStringLiteral("ab\u00e9\nd"));
        QString path = command("mnuFileItem3", QStringLiteral("doc.txt")); // Save Document...
        QCOMPARE(ReadFile(path), QByteArray("ab\xc3\xa9\r\nd\r\n")); // line ends as sent, one CR LF more
        QCOMPARE(Status(), QStringLiteral("Saved ") + path);
        path = command("mnuFileItem3", QStringLiteral("missing/doc.txt"));
        QCOMPARE(Status(), QStringLiteral("Error saving ") + path);
        QCOMPARE(m_messages.size(), 1);

        WriteFile(m_program->filePath(QStringLiteral("empty.txt")), "");
        path = command("mnuFileItem1", QStringLiteral("empty.txt")); // Open Document...
        QCOMPARE(Board()->toPlainText(), QString());
        QCOMPARE(Status(), QStringLiteral("Loaded ") + path);

        Board()->setPlainText(QStringLiteral("kept"));
        QVERIFY(QFile::resize(m_program->filePath(QStringLiteral("doc.txt")), ::Board::DocumentLimit + 1)); // sparse
        path = command("mnuFileItem1", QStringLiteral("doc.txt"));
        QCOMPARE(Board()->toPlainText(), QStringLiteral("kept"));
        QCOMPARE(Status(), QStringLiteral("Error loading ") + path);
        QCOMPARE(m_messages.size(), 2);
    }

    void sendersJoinTheAddressList_data()
    {
        QTest::addColumn<QStringList>("senders"); // loopback addresses, in turn
        QTest::addColumn<QStringList>("entries"); // the file held 127.0.0.3 at start
        QTest::newRow("one sender") << QStringList{"127.0.0.1"} << QStringList{"127.0.0.3", "127.0.0.1"};
        QTest::newRow("the same sender twice") << QStringList{"127.0.0.1", "127.0.0.1"} << QStringList{"127.0.0.3", "127.0.0.1"};
        QTest::newRow("two senders, first again") << QStringList{"127.0.0.1", "127.0.0.2", "127.0.0.1"}
                                                  << QStringList{"127.0.0.3", "127.0.0.1", "127.0.0.2"};
        QTest::newRow("a sender listed in the file") << QStringList{"127.0.0.3"} << QStringList{"127.0.0.3"};
    }
    void sendersJoinTheAddressList()
    {
        QFETCH(QStringList, senders);
        WriteFile(m_program->filePath(QStringLiteral("tdsettings.ini")), "127.0.0.3\r\n");
        StartedWindow();
        for (const QString &sender : senders) {
            QVERIFY(DeliverFrom(sender, sender.toLatin1()));
            QCOMPARE(Board()->toPlainText(), sender);
            QCOMPARE(Box()->currentText(), sender);
        }
        QTEST(Entries(Box()), "entries");
        Control<QAction>("mnuFileItem5")->trigger(); // the list outlives the run
        QFETCH(QStringList, entries);
        QCOMPARE(ReadFile(m_window->Controller().Run().AddressFile), (entries.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
    }

    void settingsSurviveQuitAndStart_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<QString>("folder"); // below the program folder; empty: none
        QTest::newRow("every value set") << QStringLiteral("127.0.0.1") << QStringLiteral("7") << QStringLiteral("inbox");
        QTest::newRow("no address, no folder, time-out 0") << QString() << QStringLiteral("0") << QString();
    }
    void settingsSurviveQuitAndStart()
    {
        QFETCH(QString, ip);
        QFETCH(QString, timeout);
        QFETCH(QString, folder);
        const QString port = QString::number(FreePort());
        const QString path = folder.isEmpty() ? QString() : m_program->filePath(folder) + QLatin1Char('/');
        StartedWindow();
        const QString phonePort = QString::number(FreePort());
        EditSettings({"txtIP", ip, "txtPort", port, "txtTimeout", timeout, "txtPath", path, "txtPhonePort", phonePort});
        QCOMPARE(Store().value(QStringLiteral("Settings/ServerTimeout")).toString(), timeout); // written by OK
        // The server moved to the new port at once.
        QCOMPARE(Outcome(port.toInt(), "moved"), QStringLiteral("OK"));
        Control<QAction>("mnuFileItem5")->trigger();
        QCOMPARE(Store().value(QStringLiteral("Settings/ServerIP")).toString(), ip);
        QCOMPARE(Store().value(QStringLiteral("Settings/ServerPort")).toString(), port);
        QCOMPARE(Store().value(QStringLiteral("Settings/ServerTimeout")).toString(), timeout);
        QCOMPARE(Store().value(QStringLiteral("Settings/LogPath")).toString(), path);

        m_window.reset();
        MakeWindow().StartServer(); // a new start reads them back
        QCOMPARE(m_window->Controller().Server()->LocalPort(), port.toInt());
        QCOMPARE(EditSettings({}), (QStringList{ip, port, timeout, path, phonePort}));
        Control<QAction>("mnuToolsItem5")->trigger(); // pairing listens where the settings say
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
        QCOMPARE(Outcome(m_window->Controller().Server()->LocalPort(), "plain"), QStringLiteral("refused"));
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
        QCOMPARE(ReadFile(home.filePath(QStringLiteral("tdsettings.ini"))), QByteArray("127.0.0.2\r\n"));
    }

    void closeBoxWithTrayHides()
    {
        StartedWindow(frmMain::TrayPresence::Present).show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(!m_window->close());
        QVERIFY(!m_window->isVisible() && !m_window->isMinimized());
        QVERIFY(!Store().contains(QStringLiteral("Settings/ServerTimeout"))); // nothing saved: the program goes on
        QVERIFY(Deliver("still receiving"));
        QCOMPARE(Board()->toPlainText(), QStringLiteral("still receiving"));
    }

    void trayMenuOffersTheOtherState_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::newRow("window shown: Hide") << true;
        QTest::newRow("window hidden: Show") << false;
    }
    void trayMenuOffersTheOtherState()
    {
        QFETCH(bool, shown);
        MakeWindow().setVisible(shown);
        auto *menu = m_window->findChild<QMenu *>(QStringLiteral("mnuPopup"));
        QVERIFY(menu);
        menu->popup(QPoint(0, 0));
        QCOMPARE(Control<QAction>("mnuPopupItem0")->isVisible(), !shown); // &Show
        QCOMPARE(Control<QAction>("mnuPopupItem1")->isVisible(), shown);  // &Hide
        menu->hide();
        Control<QAction>(shown ? "mnuPopupItem1" : "mnuPopupItem0")->trigger();
        QCOMPARE(m_window->isVisible(), !shown);
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
        QTest::newRow("secure: plain taken") << secure << QStringList() << QByteArray() << "OK" << " [secure, sealed]";
        QTest::newRow("secure: other password refused") << secure << QStringList() << QByteArray("new") << "refused" << " [secure, sealed]";
        QTest::newRow("secure only ticked later: plain refused") << secure << QStringList{"chkAcceptSecure", ""} << QByteArray()
                                                                 << "refused" << " [secure only, sealed]";
        QTest::newRow("password changed, encrypt kept: new taken")
            << secure << QStringList{"txtPassword", "new", "txtPassword2", "new"} << QByteArray("new") << "OK" << " [secure, sealed]";
        QTest::newRow("password changed, encrypt kept: old refused")
            << secure << QStringList{"txtPassword", "new", "txtPassword2", "new"} << QByteArray("old") << "refused" << " [secure, sealed]";
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
        QTEST(Outcome(m_window->Controller().Server()->LocalPort(), "hello", password), "outcome");
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Textdrop v0.1.49") + caption);
    }

    void changedTimeoutTakesEffect()
    {
        Store().setValue(QStringLiteral("Settings/ServerTimeout"), QStringLiteral("1000"));
        frmMain::Environment surroundings = Surroundings();
        surroundings.ServerTickMilliseconds = 5;
        Store().setValue(QStringLiteral("Settings/ServerIP"), Loopback);
        Store().setValue(QStringLiteral("Settings/ServerPort"), QString::number(FreePort()));
        m_window = std::make_unique<frmMain>(surroundings);
        m_window->StartServer();
        EditSettings({"txtTimeout", "0"});
        QTcpSocket silent;
        silent.connectToHost(QHostAddress::LocalHost, m_window->Controller().Server()->LocalPort());
        // 1001 ticks of 5 ms under the old time-out; one tick under the new.
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QStringLiteral("Timeout waiting on 127.0.0.1"), 2000);
    }

    void failedStartShownInTrayTip()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        StartedWindow(frmMain::TrayPresence::Present, occupant.serverPort());
        CTray *tray = m_window->findChild<CTray *>();
        QVERIFY(tray);
        const QString tip = tray->TipText();
        QVERIFY2(tip.contains(QStringLiteral("not receiving")), qPrintable(tip));
        occupant.close();
        Control<QAction>("mnuToolsItem3")->trigger(); // Restart Server tries again
        QCOMPARE(tray->TipText(), QStringLiteral("Textdrop v0.1.49"));
        QCOMPARE(Outcome(m_window->Controller().Server()->LocalPort(), "back"), QStringLiteral("OK"));
    }

    // Enter that closes a message box must not reach the address box as a key release of its own.
    void addressBoxIgnoresForeignEnter()
    {
        MakeWindow().show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        Box()->addItem(QStringLiteral("gone"));
        Box()->setCurrentIndex(-1);
        Box()->setFocus();
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(Box()->lineEdit(), &release); // its press went to the message box
        QCOMPARE(Entries(Box()), QStringList{QStringLiteral("gone")});
    }

    void longLineShownWhole()
    {
        StartedWindow().show();
        const QByteArray line(256 * 1024, 'q');
        QVERIFY(Deliver(line));
        QCOMPARE(Board()->toPlainText().size(), line.size());
        Board()->moveCursor(QTextCursor::End);
        QTest::keyClicks(Board(), QStringLiteral("!"));
        QVERIFY(Board()->toPlainText().endsWith(QStringLiteral("q!")));
    }

    // One letter under half a million accents: shown by its start at once, the next sender
    // answered at once, the whole pile copied while the board is not edited.
    void accentPileNeitherStallsNorIsCut()
    {
        StartedWindow().show();
        const QString pile = QLatin1Char('e') + QString(512 * 1024 - 1, QChar(0x301));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(Deliver(pile.toUtf8()));
        Board()->viewport()->repaint();
        Board()->selectAll();
        Board()->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), pile);
        Board()->moveCursor(QTextCursor::End);
        QTest::keyClicks(Board(), QStringLiteral("!")); // edited: the board holds what it shows
        Click("cmdCopy");
        QCOMPARE(QGuiApplication::clipboard()->text(), pile.left(::Board::LongestShownCluster) + QLatin1Char('!'));
        QVERIFY(Deliver("next"));
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

        WriteFile(m_program->filePath(QStringLiteral("a.txt")), "one|");
        WriteFile(m_program->filePath(QStringLiteral("b.txt")), "two|");
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
