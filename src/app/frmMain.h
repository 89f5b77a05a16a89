#pragma once

#include "TextdropVersion.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <functional>

class AddressBox;
class AppController;
class AppTray;
class Board;
class DesktopNotifier;
class PeerBrowser;
class SendRound;
class ServiceAnnouncer;
class DocumentCommands;
class MessageDesk;
class PhonePeers;
class CZaridoDovoServer;
class frmLog;
class QKeySequence;
class QLabel;
class QLayout;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class SingleInstance;
class StatusLine;

// The main window: the board, the address box, the four buttons, the status line and the
// character count, the menus and the tray icon. Closing it hides it (or minimises it where
// the desktop has no tray); only the quit commands end the program.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    static inline const QString Title = QStringLiteral(TEXTDROP_TITLE);
    // Long enough to read the box, short enough that "will shutdown automatically" holds.
    static constexpr int RefusedNoticeMilliseconds = 6000;

    enum class TrayPresence { Detect, Present, Absent };

    // What the window takes from its surroundings; tests replace the parts that would block,
    // reach outside their temporary folders or take seconds.
    struct Environment
    {
        // Shows a message box titled with the program's title. Empty: a real message box.
        std::function<void(const QString &text, QMessageBox::Icon icon)> ShowMessage;
        TrayPresence Tray = TrayPresence::Detect;
        // The folder of the program file; empty: the running program's own.
        QString ProgramFolder;
        // The receiver's idle tick; 0: its ordinary 10 seconds.
        int ServerTickMilliseconds = 0;
        // The history file; empty: the one in the user's data folder.
        QString HistoryFile;
        // The port phones pair on; 0: the one in the settings.
        quint16 PhonePort = 0;
        // How long a refused second copy's box stays before it closes by itself; 0: RefusedNoticeMilliseconds.
        int RefusedNoticeMilliseconds = 0;
    };

    // Builds the window and runs its loading: refuses to go on when another copy runs,
    // otherwise creates the endpoints and the tray icon, reads the address list and the
    // settings. The server is not started here.
    explicit frmMain(QWidget *parent = nullptr);
    explicit frmMain(Environment environment, QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up, the settings, the endpoints and quitting.
    AppController &Controller() const { return *m_controller; }
    // History, drafts and notices of arrivals.
    MessageDesk &Desk() const { return *m_desk; }

    // Starts the listening endpoint with the present settings; the caption shows its mode,
    // the status line and the tray tooltip the outcome. Expects the server stopped.
    void StartServer();
    // Puts a time-stamped text on the status line.
    void SetStatus(const QString &msg);
    // Shows the window, restores it when minimised, and brings it to the front.
    void ShowWindow();
    // The first showing: a hidden start (at log-in) leaves only the tray icon, or a minimised
    // window where there is no tray to bring it back from.
    void Present(bool hidden);
    // The quit commands, and the session's end: writes everything and closes for good.
    void ExitProgram();

signals:
    // The window has really closed: the settings and the address list are written.
    void Closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls();
    QLayout *BuildButtonRow(QWidget *client);
    void BuildMenus();
    template <typename Handler>
    QAction *AddCommand(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut,
                        Handler handler);
    void Load();
    bool HasTray() const;
    void ShowMessage(const QString &text, QMessageBox::Icon icon);
    void Quit();
    // Keeps the window's size and place for the next start.
    void SavePlace();
    void UpdateCharacterCount();
    void OnServerStarted(bool started, const QString &where, const QString &captionSuffix);
    // A word that must reach the user hidden in the tray too: the status line and a notification.
    void Warn(const QString &text);
    void AskForPassword();

    void cmdSend_Click();

    void msg_MessageSent(int ticks);
    void msg_Error(int number, const QString &description);
    void msg_MessageError(const QByteArray &description);
    void Server_Connected(const QString &remoteIP);
    void Server_Disconnected(const QString &remoteIP);
    void Server_Timeout(const QString &remoteIP);
    void Server_MessageError(const QString &description);

    // Cut, Copy and Paste act on the control that has the focus, as its own keys would.
    template <typename Command> void EditFocused(Command command);
    void OpenSettings();
    // The port phones pair on: the one the surroundings set, else the one in the settings.
    quint16 PhonePort() const;

    Environment m_environment;
    AppController *m_controller = nullptr;
    AppTray *m_Tray = nullptr;
    DocumentCommands *m_documents = nullptr;
    MessageDesk *m_desk = nullptr;
    PhonePeers *m_phones = nullptr;
    DesktopNotifier *m_notifier = nullptr;
    ServiceAnnouncer *m_announcer = nullptr;
    PeerBrowser *m_peers = nullptr;
    SendRound *m_round = nullptr;
    bool m_toPeer = false; // the send going on is to a computer found on the network
    QPointer<frmLog> m_frmLog;
    bool m_quitting = false;
    bool m_AwaitingMessage = false;

    Board *m_txtBoard = nullptr;
    AddressBox *m_cmbIP = nullptr;
    StatusLine *m_lblStatus = nullptr;
    QLabel *m_lblBytes = nullptr;
};
