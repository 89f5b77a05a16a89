#include "TestHome.h"
#include "TextdropVersion.h"
#include "app/SingleInstance.h"
#include "app/frmMain.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "support/CTray.h"
#include "windows/frmLog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString Loopback = QStringLiteral("127.0.0.1");
const QString Version = QStringLiteral("v%1.%2.%3").arg(TEXTDROP_VERSION_MAJOR).arg(TEXTDROP_VERSION_MINOR).arg(TEXTDROP_VERSION_PATCH);

QSettings Store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Textdrop"), QStringLiteral("Textdrop"));
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList Entries(const QComboBox *box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries.append(box->itemText(i));
    return entries;
}

// Sends bytes to the window's server from a loopback client; true once the window said "OK".
bool Deliver(frmMain &window, const QByteArray &bytes)
{
    CZaridoDovoClient sender;
    QSignalSpy sent(&sender, &CZaridoDovoClient::MessageSent);
    sender.SendMessage(QStringLiteral("127.0.0.1"), window.Server()->LocalPort(), bytes);
    return sent.wait();
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

public:
    static void initMain() { UseTemporaryHome(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartDefaults();
    void captionShowsTheMode_data();
    void captionShowsTheMode();
    void serverFailureReported();
    void secondCopyRefused();
    void addressListAndSettingsKeptAcrossRuns();
    void messageReachesBoardStatusListAndFile_data();
    void messageReachesBoardStatusListAndFile();
    void failedSaveStillShowsMessage();
    void sendReportsBytesSent_data();
    void sendReportsBytesSent();
    void sendWithoutAddress();
    void nothingReceivedOnlyForSilentConnection();
    void statusLineElision();
    void closeHidesOrMinimises_data();
    void closeHidesOrMinimises();
    void trayMenuOffersTheOtherState();

private:
    std::unique_ptr<frmMain> MakeWindow(frmMain::TrayPresence tray = frmMain::TrayPresence::Present);
    // A window listening on the loopback address, on a port the system picks.
    std::unique_ptr<frmMain> StartedWindow(frmMain::TrayPresence tray = frmMain::TrayPresence::Present);
    static QString StatusOf(frmMain &window);
    // Whether the status line's full text is the time stamp followed by ": " + text.
    static bool StatusIs(frmMain &window, const QString &text);
    template <typename T> static T *Control(frmMain &window, const char *name);

    struct Message
    {
        QString text;
        QMessageBox::Icon icon;
    };
    QList<Message> m_messages;
    std::unique_ptr<QTemporaryDir> m_program;
};

void tst_frmMain::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_frmMain::init()
{
    Store().clear();
    m_messages.clear();
    m_program = std::make_unique<QTemporaryDir>();
}

void tst_frmMain::cleanup()
{
    m_program.reset();
}

std::unique_ptr<frmMain> tst_frmMain::MakeWindow(frmMain::TrayPresence tray)
{
    frmMain::Environment environment;
    environment.ShowMessage = [this](const QString &text, QMessageBox::Icon icon) { m_messages.append({text, icon}); };
    environment.Tray = tray;
    environment.ProgramFolder = m_program->path();
    return std::make_unique<frmMain>(environment);
}

std::unique_ptr<frmMain> tst_frmMain::StartedWindow(frmMain::TrayPresence tray)
{
    QSettings store = Store();
    store.setValue(QStringLiteral("Settings/ServerIP"), Loopback);
    store.setValue(QStringLiteral("Settings/ServerPort"), QStringLiteral("0"));
    store.sync();
    auto window = MakeWindow(tray);
    window->StartServer();
    return window;
}

QString tst_frmMain::StatusOf(frmMain &window)
{
    return Control<QLabel>(window, "lblStatus")->property("Tag").toString();
}

bool tst_frmMain::StatusIs(frmMain &window, const QString &text)
{
    static const QRegularExpression stamp(QStringLiteral("^ \\d\\d:\\d\\d:\\d\\d (AM|PM): "));
    const QString status = StatusOf(window);
    const QRegularExpressionMatch match = stamp.match(status);
    if (match.hasMatch() && status.mid(match.capturedLength()) == text)
        return true;
    qWarning("status line: \"%s\"", qPrintable(status));
    return false;
}

template <typename T> T *tst_frmMain::Control(frmMain &window, const char *name)
{
    T *control = window.findChild<T *>(QLatin1String(name));
    if (!control)
        qFatal("no control %s", name);
    return control;
}

void tst_frmMain::firstStartDefaults()
{
    auto window = MakeWindow();
    QVERIFY(!window->AlreadyRunning());
    const Settings &settings = window->AppSettings();
    QCOMPARE(settings.ServerIP, QString());
    QCOMPARE(settings.ServerPort, 30666);
    QCOMPARE(settings.ServerTimeout, 2);
    QCOMPARE(settings.LogPath, QString());
    QCOMPARE(settings.AddressFile, m_program->path() + QStringLiteral("/tdsettings.ini"));
    QCOMPARE(Control<QComboBox>(*window, "cmbIP")->count(), 0);
    QCOMPARE(window->windowTitle(), QStringLiteral("Textdrop ") + Version);
    QCOMPARE(Control<QLabel>(*window, "lblBytes")->text(), QStringLiteral("0"));
    QVERIFY(!window->Server()->Started()); // the window alone does not listen
    QVERIFY(m_messages.isEmpty());
}

void tst_frmMain::captionShowsTheMode_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("secureOnly");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("plain") << QString() << 0 << QString();
    QTest::newRow("password: secure") << QStringLiteral("pw") << 0 << QStringLiteral(" [secure]");
    QTest::newRow("password, secure only") << QStringLiteral("pw") << 1 << QStringLiteral(" [secure only]");
}

void tst_frmMain::captionShowsTheMode()
{
    QFETCH(QString, password);
    QFETCH(int, secureOnly);
    QFETCH(QString, suffix);

    auto window = StartedWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Textdrop ") + Version);
    window->AppSettings().CryptPassword = password;
    window->AppSettings().AcceptSecureOnly = secureOnly;
    window->Server()->StopServer();
    window->StartServer();

    QCOMPARE(window->windowTitle(), QStringLiteral("Textdrop ") + Version + suffix);
    QVERIFY(window->Server()->Started());
    QVERIFY(StatusIs(*window, QStringLiteral("Server started on 127.0.0.1:") + QString::number(window->Server()->LocalPort())));
}

void tst_frmMain::serverFailureReported()
{
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
    QSettings store = Store();
    store.setValue(QStringLiteral("Settings/ServerIP"), Loopback);
    store.setValue(QStringLiteral("Settings/ServerPort"), QString::number(occupant.serverPort()));
    store.sync();

    auto window = MakeWindow();
    window->StartServer();
    QVERIFY(!window->Server()->Started());
    QVERIFY(StatusIs(*window, QStringLiteral("Server failed to start on 127.0.0.1:") + QString::number(occupant.serverPort())
                                  + QStringLiteral(" \u2014 see the log")));
}

void tst_frmMain::secondCopyRefused()
{
    auto running = MakeWindow();
    QVERIFY(!running->AlreadyRunning());
    QSignalSpy shown(&running->Instance(), &SingleInstance::ShowRequested);

    auto second = MakeWindow();
    QVERIFY(second->AlreadyRunning());
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, QStringLiteral("Another instance of Textdrop is currently running.\n\n"
                                                   "This instance will shutdown automatically."));
    QCOMPARE(m_messages.at(0).icon, QMessageBox::NoIcon);
    QVERIFY(second->Server() == nullptr);

    // Asked to, the running copy comes forward.
    QSignalSpy finished(&second->Instance(), &SingleInstance::Finished);
    second->Instance().AskRunningCopyToShow();
    QVERIFY(shown.wait());
    QTRY_VERIFY(running->isVisible());
    QTRY_COMPARE(finished.count(), 1);

    // Even a quit command on the refused copy writes nothing.
    second->SetTag(QStringLiteral("END"));
    second->close();
    second.reset();
    QVERIFY(Store().allKeys().isEmpty());
    QVERIFY(!QFileInfo::exists(running->AppSettings().AddressFile));
}

void tst_frmMain::addressListAndSettingsKeptAcrossRuns()
{
    QFile file(m_program->filePath(QStringLiteral("tdsettings.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("10.0.0.5\r\n\r\n   \r\n  10.0.0.6 \r\n10.0.0.5\r\n");
    file.close();

    auto window = MakeWindow();
    auto *cmbIP = Control<QComboBox>(*window, "cmbIP");
    QCOMPARE(cmbIP->count(), 3); // blank lines dropped, the repeated address kept
    QCOMPARE(cmbIP->itemText(1), QStringLiteral("10.0.0.6"));
    QCOMPARE(cmbIP->currentText(), QString());
    cmbIP->addItem(QStringLiteral("host.lan"));

    Settings &settings = window->AppSettings();
    settings.ServerIP = QStringLiteral("10.1.2.3");
    settings.ServerPort = 4000;
    settings.ServerTimeout = 9;
    settings.LogPath = m_program->path() + QStringLiteral("/saved/");
    settings.CryptPassword = QStringLiteral("sesame-secret");
    settings.EncryptData = 1;
    settings.AcceptSecureOnly = 1;
    window->show();
    Control<QAction>(*window, "mnuToolsItem1")->trigger(); // the log window is open when quitting

    QSignalSpy closed(window.get(), &frmMain::Closed);
    Control<QAction>(*window, "mnuFileItem5")->trigger(); // E&xit
    QCOMPARE(closed.count(), 1);
    QVERIFY(!window->isVisible());
    QVERIFY(!window->LogWindow()->isVisible());

    QSettings store = Store();
    QCOMPARE(store.childGroups(), QStringList{QStringLiteral("Settings")});
    store.beginGroup(QStringLiteral("Settings"));
    QCOMPARE(store.childKeys(), (QStringList{"LogPath", "ServerIP", "ServerPort", "ServerTimeout"}));
    QVERIFY(!ReadFile(store.fileName()).contains("sesame-secret"));
    QCOMPARE(ReadFile(settings.AddressFile), QByteArray("10.0.0.5\r\n10.0.0.6\r\n10.0.0.5\r\nhost.lan\r\n"));

    // The next run starts from what was written.
    window.reset();
    auto next = MakeWindow();
    QCOMPARE(next->AppSettings().ServerIP, QStringLiteral("10.1.2.3"));
    QCOMPARE(next->AppSettings().ServerPort, 4000);
    QCOMPARE(next->AppSettings().ServerTimeout, 9);
    QCOMPARE(next->AppSettings().LogPath, m_program->path() + QStringLiteral("/saved/"));
    QCOMPARE(next->AppSettings().CryptPassword, QString());
    QCOMPARE(next->AppSettings().AcceptSecureOnly, 0);
    QCOMPARE(Control<QComboBox>(*next, "cmbIP")->count(), 4);
}

void tst_frmMain::messageReachesBoardStatusListAndFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("board");
    QTest::addColumn<bool>("trailingSeparator");

    QTest::newRow("utf-8 text, folder with its separator")
        << QByteArray("h\xc3\xa9llo\r\nw\xc3\xb6rld") << QStringLiteral("h\u00e9llo\nw\u00f6rld") << true;
    QTest::newRow("windows-1252 text, folder without its separator")
        << QByteArray("caf\xe9 \x80") << QStringLiteral("caf\u00e9 \u20ac") << false;
    QTest::newRow("1234 characters") << QByteArray(1234, 'x') << QString(1234, u'x') << true;
}

void tst_frmMain::messageReachesBoardStatusListAndFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, board);
    QFETCH(bool, trailingSeparator);

    auto window = StartedWindow();
    QTemporaryDir saveFolder;
    window->AppSettings().LogPath = saveFolder.path() + (trailingSeparator ? QStringLiteral("/") : QString());
    QVERIFY(Deliver(*window, bytes));

    QCOMPARE(Control<QPlainTextEdit>(*window, "txtBoard")->toPlainText(), board);
    const QString count = QLocale().toString(board.size());
    QVERIFY(StatusIs(*window, count + QStringLiteral(" bytes from (127.0.0.1)")));
    QCOMPARE(Control<QLabel>(*window, "lblBytes")->text(), count);
    auto *cmbIP = Control<QComboBox>(*window, "cmbIP");
    QCOMPARE(Entries(cmbIP), QStringList{Loopback});
    QCOMPARE(cmbIP->currentIndex(), 0);

    const QStringList files = QDir(saveFolder.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}-1\\.txt$")).match(files.at(0)).hasMatch(),
             qPrintable(files.at(0)));
    const QString path = saveFolder.filePath(files.at(0));
    QCOMPARE(ReadFile(path), bytes + "\r\n");
    QVERIFY(window->LogWindow()->txtLog()->toPlainText().contains(path + QStringLiteral(" logged.")));
}

void tst_frmMain::failedSaveStillShowsMessage()
{
    auto window = StartedWindow();
    // The save folder sits below a regular file, so no file can be made there.
    QFile blocker(m_program->filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    window->AppSettings().LogPath = blocker.fileName() + QStringLiteral("/saved/");

    QVERIFY(Deliver(*window, "keep me")); // the sender was told "OK"

    QCOMPARE(Control<QPlainTextEdit>(*window, "txtBoard")->toPlainText(), QStringLiteral("keep me"));
    QVERIFY2(StatusOf(*window).contains(QStringLiteral(": 7 bytes from (127.0.0.1) \u2014 not saved: ")),
             qPrintable(StatusOf(*window)));
    QCOMPARE(Entries(Control<QComboBox>(*window, "cmbIP")), QStringList{Loopback});
    QCOMPARE(window->AppSettings().SavedCount, 1);
    const QString log = window->LogWindow()->txtLog()->toPlainText();
    QVERIFY2(log.contains(QStringLiteral(": Error saving ") + window->AppSettings().LogPath), qPrintable(log));
    QVERIFY(!log.contains(QStringLiteral(" logged.")));
}

void tst_frmMain::sendReportsBytesSent_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("plain") << QString();
    QTest::newRow("enciphered") << QStringLiteral("p\u00e4ss");
}

void tst_frmMain::sendReportsBytesSent()
{
    QFETCH(QString, password);
    CZaridoDovoServer peer;
    QVERIFY(peer.StartServer(Loopback, 0, 2, password.toUtf8(), !password.isEmpty()));
    QSignalSpy received(&peer, &CZaridoDovoServer::MessageReceived);

    auto window = MakeWindow();
    window->AppSettings().ServerPort = peer.LocalPort();
    window->AppSettings().CryptPassword = password;
    Control<QComboBox>(*window, "cmbIP")->setEditText(Loopback);
    Control<QPlainTextEdit>(*window, "txtBoard")->setPlainText(QStringLiteral("a\u00e9c\nd"));
    QTest::mouseClick(Control<QPushButton>(*window, "cmdSend"), Qt::LeftButton);

    QVERIFY(received.wait());
    QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("a\xc3\xa9\x63\r\nd"));
    QTRY_VERIFY2(QRegularExpression(QStringLiteral(": 5 bytes sent in \\d+\\.\\d\\d seconds$")).match(StatusOf(*window)).hasMatch(),
                 qPrintable(StatusOf(*window)));
}

void tst_frmMain::sendWithoutAddress()
{
    auto window = MakeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    Control<QPlainTextEdit>(*window, "txtBoard")->setFocus();
    const QString before = StatusOf(*window);

    QTest::mouseClick(Control<QPushButton>(*window, "cmdSend"), Qt::LeftButton);

    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, QStringLiteral("No IP Address specified"));
    QCOMPARE(m_messages.at(0).icon, QMessageBox::Information);
    QTRY_VERIFY(Control<QComboBox>(*window, "cmbIP")->hasFocus());
    QCOMPARE(StatusOf(*window), before);
}

void tst_frmMain::nothingReceivedOnlyForSilentConnection()
{
    auto window = StartedWindow();
    const int port = window->Server()->LocalPort();
    QSignalSpy disconnected(window->Server(), &CZaridoDovoServer::Disconnected);

    // A peer that sends a message and hangs up at once: its connection ends after the
    // delivery, which is no silent connection.
    QSignalSpy received(window->Server(), &CZaridoDovoServer::MessageReceived);
    QTcpSocket hasty;
    hasty.connectToHost(QHostAddress::LocalHost, port);
    hasty.write(QByteArray("STALK\0\0\4data", 12)); // goes out once connected, before the close
    hasty.disconnectFromHost();
    QVERIFY(received.wait());
    QTRY_VERIFY(disconnected.count() > 0);
    QVERIFY(StatusIs(*window, QStringLiteral("4 bytes from (127.0.0.1)")));

    // A connection that closes without sending anything.
    QSignalSpy connected(window->Server(), &CZaridoDovoServer::Connected);
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(connected.wait());
    disconnected.clear();
    silent.disconnectFromHost();
    QVERIFY(disconnected.wait());
    QVERIFY(StatusIs(*window, QStringLiteral("Nothing received from 127.0.0.1")));
}

void tst_frmMain::statusLineElision()
{
    auto window = MakeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *lblStatus = Control<QLabel>(*window, "lblStatus");
    const QString message = QStringLiteral("Remote Server Error: ") + QString(40, u'M') + QStringLiteral(" end");
    window->SetStatus(message);
    const QString full = StatusOf(*window);
    const auto room = [lblStatus] { return lblStatus->contentsRect().width() - lblStatus->indent(); };

    QVERIFY(lblStatus->fontMetrics().horizontalAdvance(full) > room());
    const QString narrow = lblStatus->text();
    QVERIFY2(narrow.endsWith(QLatin1String("...")), qPrintable(narrow));
    QVERIFY(full.startsWith(narrow.chopped(3)));
    QVERIFY(lblStatus->fontMetrics().horizontalAdvance(narrow) <= room());

    // Widening the window shows more, up to the whole text.
    window->resize(window->width() + 120, window->height());
    QTRY_VERIFY(lblStatus->text().size() > narrow.size());
    window->resize(4 * lblStatus->fontMetrics().horizontalAdvance(full), window->height());
    QTRY_COMPARE(lblStatus->text(), full);
}

void tst_frmMain::closeHidesOrMinimises_data()
{
    QTest::addColumn<bool>("tray");
    QTest::newRow("with a tray the window hides") << true;
    QTest::newRow("without a tray it minimises") << false;
}

void tst_frmMain::closeHidesOrMinimises()
{
    QFETCH(bool, tray);
    auto window = StartedWindow(tray ? frmMain::TrayPresence::Present : frmMain::TrayPresence::Absent);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QSignalSpy closed(window.get(), &frmMain::Closed);

    QVERIFY(!window->close());
    QCOMPARE(window->isVisible(), !tray);
    QCOMPARE(window->isMinimized(), !tray);
    QCOMPARE(closed.count(), 0);
    QVERIFY(!Store().contains(QStringLiteral("Settings/ServerTimeout"))); // nothing saved

    QVERIFY(Deliver(*window, "still here"));
    QCOMPARE(Control<QPlainTextEdit>(*window, "txtBoard")->toPlainText(), QStringLiteral("still here"));
}

void tst_frmMain::trayMenuOffersTheOtherState()
{
    auto window = MakeWindow();
    auto *icon = window->findChild<QSystemTrayIcon *>();
    QVERIFY(icon);
    QSignalSpy rightClicks(window->findChild<CTray *>(), &CTray::RButtonUp);
    QCOMPARE(icon->toolTip(), QStringLiteral("Textdrop ") + Version);

    struct Seen
    {
        bool show = false;
        bool hide = false;
        QMenu *menu = nullptr;
    };
    const auto openMenu = [&]() {
        Seen seen;
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            seen.menu = menu;
            seen.show = Control<QAction>(*window, "mnuPopupItem0")->isVisible();
            seen.hide = Control<QAction>(*window, "mnuPopupItem1")->isVisible();
            // A second right click while the menu is open opens nothing more.
            emit icon->activated(QSystemTrayIcon::Context);
            if (QApplication::activePopupWidget() == menu)
                menu->close();
        });
        emit icon->activated(QSystemTrayIcon::Context);
        return seen;
    };

    Seen hidden = openMenu();
    QVERIFY(hidden.menu);
    QVERIFY(hidden.show && !hidden.hide);
    QCOMPARE(rightClicks.count(), 1);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    Seen shown = openMenu();
    QVERIFY(shown.menu);
    QVERIFY(!shown.show && shown.hide);
    QCOMPARE(rightClicks.count(), 2);

    Control<QAction>(*window, "mnuPopupItem1")->trigger(); // &Hide
    QVERIFY(!window->isVisible());
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(window->isVisible());

    // &Remove Textdrop, from the tray while hidden, quits and saves.
    window->hide();
    QSignalSpy closed(window.get(), &frmMain::Closed);
    Control<QAction>(*window, "mnuPopupItem3")->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(Store().contains(QStringLiteral("Settings/ServerTimeout")));
    QVERIFY(QFileInfo::exists(window->AppSettings().AddressFile));
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
