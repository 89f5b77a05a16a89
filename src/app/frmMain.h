#pragma once

#include "TextdropVersion.h"
#include "app/Settings.h"

#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <functional>

class CTray;
class CZaridoDovoClient;
class CZaridoDovoServer;
class frmLog;
class QAction;
class QComboBox;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class SingleInstance;

// The main window: the board, the address box, the four buttons, the status line and the
// character count; the menus and the tray icon; the two endpoints and the settings record.
// Closing it hides it (or minimises it where the desktop has no tray); it really closes,
// saving the settings and the address list, only once its tag reads "END".
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    static inline const QString Title = QStringLiteral(TEXTDROP_TITLE);
    // The largest document the board takes; a bigger file would hold the window for minutes.
    static constexpr qint64 DocumentLimit = qint64(64) * 1024 * 1024;

    enum class TrayPresence { Detect, Present, Absent };

    // What the window takes from its surroundings; tests replace the parts that would block
    // or reach outside their temporary folders.
    struct Environment
    {
        // Shows a message box titled with the program's title. Empty: a real message box.
        std::function<void(const QString &text, QMessageBox::Icon icon)> ShowMessage;
        TrayPresence Tray = TrayPresence::Detect;
        // The folder of the program file; empty: the running program's own.
        QString ProgramFolder;
    };

    // Builds the window and runs its loading: refuses to go on when another copy runs,
    // otherwise creates the endpoints and the tray icon, reads the address list and the
    // settings. The server is not started here.
    explicit frmMain(QWidget *parent = nullptr);
    explicit frmMain(Environment environment, QWidget *parent = nullptr);
    ~frmMain() override;

    Settings &AppSettings();
    bool AlreadyRunning() const;
    // The single-copy guard, to ask the running copy to show itself after a refusal.
    SingleInstance &Instance();

    CZaridoDovoServer *Server() const;
    CZaridoDovoClient *msg() const;
    frmLog *LogWindow() const;

    QString Tag() const;
    void SetTag(const QString &tag);

    // Starts the listening endpoint with the present settings, in the mode they select,
    // shows the mode in the caption and the outcome on the status line. Expects the server
    // stopped (fresh, or StopServer just before).
    void StartServer();

    // Puts a time-stamped text on the status line.
    void SetStatus(const QString &msg);
    // Fits the label's full text (its "Tag" property) into its present width.
    void AutoSizeCaption(QLabel *lbl);

    // Saves a received message when a save folder is set, and logs the outcome on the
    // server's log. Returns the reason when the save failed, otherwise an empty text.
    QString AddLogMessage(const QByteArray &message);

    // Shows the window, restores it when minimised, and brings it to the front.
    void ShowWindow();

signals:
    // The window has really closed: the settings and the address list are written.
    void Closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildControls();
    void BuildMenus();
    void Load();
    void ShowMessage(const QString &text, QMessageBox::Icon icon);
    bool TrayAvailable() const;
    void Quit();
    QString BoardText() const;
    void UpdateCharacterCount();

    void cmdSend_Click();
    void cmdClear_Click();
    void cmdCopy_Click();
    void cmdPaste_Click();
    void cmbIP_KeyDown(int key);
    void cmbIP_KeyUp(int key);
    // Adds an address to the end of the address box's list unless it is there already, and
    // shows it selected.
    void AddAddress(const QString &address);
    void txtBoard_OLEDragOver(QDragMoveEvent *event);
    void txtBoard_OLEDragDrop(QDropEvent *event);

    void msg_MessageSent(int ticks);
    void msg_Error(int number, const QString &description);
    void msg_MessageError(const QByteArray &description);
    void Server_Connected(const QString &remoteIP);
    void Server_Disconnected(const QString &remoteIP);
    void Server_Timeout(const QString &remoteIP);
    void Server_MessageError(const QString &description);
    void Server_MessageReceived(const QByteArray &message, const QString &from);

    void Tray_LButtonDblClick();
    void Tray_RButtonUp();

    void mnuFileItem_Click(int index);
    void mnuEditItem_Click(int index);
    void mnuToolsItem_Click(int index);
    void mnuPopupItem_Click(int index);
    void mnuHelpItem_Click(int index);

    void NewDocument();
    void OpenDocument();
    void SaveDocument();
    // Reads one file into the board, replacing its text or appending to it. On failure the
    // board keeps its text, a message gives the reason and false is returned.
    bool LoadFile(const QString &path, bool append);
    void EditCommand(int index);
    void OpenSettings();
    void ShowAbout();

    Environment m_environment;
    Settings m_Settings;
    QString m_tag;
    bool m_AwaitingMessage = false;

    SingleInstance *m_instance = nullptr;
    CZaridoDovoServer *m_Server = nullptr;
    CZaridoDovoClient *m_msg = nullptr;
    CTray *m_Tray = nullptr;
    QPointer<frmLog> m_frmLog;

    QPlainTextEdit *m_txtBoard = nullptr;
    QComboBox *m_cmbIP = nullptr;
    QPushButton *m_cmdSend = nullptr;
    QPushButton *m_cmdClear = nullptr;
    QPushButton *m_cmdCopy = nullptr;
    QPushButton *m_cmdPaste = nullptr;
    QLabel *m_lblStatus = nullptr;
    QLabel *m_lblBytes = nullptr;

    QList<QAction *> m_mnuFileItem;
    QList<QAction *> m_mnuEditItem;
    QList<QAction *> m_mnuToolsItem;
    QList<QAction *> m_mnuHelpItem;
    QMenu *m_mnuPopup = nullptr;
    QList<QAction *> m_mnuPopupItem;
};
