#include "app/frmMain.h"

#include "TextdropVersion.h"
#include "app/AddressList.h"
#include "app/AppIcon.h"
#include "app/SingleInstance.h"
#include "app/StatusText.h"
#include "app/TextBytes.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/ReplyWords.h"
#include "support/CTray.h"
#include "support/MessageArchive.h"
#include "support/SaveWholeFile.h"
#include "support/cDialog.h"
#include "windows/frmAbout.h"
#include "windows/frmLog.h"
#include "windows/frmSettings.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString EndTag = QStringLiteral("END");
const QString DocumentFilter = QStringLiteral("Text Files (*.txt)") + QChar(u'\0') + QStringLiteral("*.txt") + QChar(u'\0')
                               + QStringLiteral("All Files (*.*)") + QChar(u'\0') + QStringLiteral("*.*") + QChar(u'\0');

// The design: a 379 x 240 pixel client area below the menu bar, at least 67 pixels high.
constexpr int ClientWidth = 379;
constexpr int ClientHeight = 240;
constexpr int MinimumClientHeight = 67;
constexpr int ButtonWidth = 52;
constexpr int AddressWidth = 143;
constexpr int CountWidth = 73;
constexpr int LabelIndent = 2;

struct MenuEntry
{
    QString caption; // "-" is a separator
    QKeySequence shortcut;
};

// One indexed family of menu entries; every entry reports its index to one handler.
QList<QAction *> AddEntries(QMenu *menu, const QString &family, const QList<MenuEntry> &entries,
                            const std::function<void(int)> &handler)
{
    QList<QAction *> actions;
    for (int index = 0; index < entries.size(); ++index) {
        const MenuEntry &entry = entries.at(index);
        QAction *action = entry.caption == QLatin1String("-") ? menu->addSeparator() : menu->addAction(entry.caption);
        action->setObjectName(family + QString::number(index));
        action->setShortcut(entry.shortcut);
        if (!action->isSeparator())
            QObject::connect(action, &QAction::triggered, menu, [handler, index] { handler(index); });
        actions.append(action);
    }
    return actions;
}

QLabel *StatusLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText); // peers' words end up here: never read them as markup
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(LabelIndent);
    return label;
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : frmMain(Environment(), parent)
{
}

frmMain::frmMain(Environment environment, QWidget *parent)
    : QMainWindow(parent)
    , m_environment(std::move(environment))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(AppIcon());
    BuildControls();
    BuildMenus();

    const int menuHeight = menuBar()->sizeHint().height();
    resize(ClientWidth, ClientHeight + menuHeight);
    setMinimumSize(ClientWidth, MinimumClientHeight + menuHeight);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    Load();
}

frmMain::~frmMain() = default;

void frmMain::BuildControls()
{
    auto *client = new QWidget(this);
    setCentralWidget(client);

    m_txtBoard = new QPlainTextEdit(client);
    m_txtBoard->setObjectName(QStringLiteral("txtBoard"));
    m_txtBoard->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtBoard->setMinimumHeight(19);
    connect(m_txtBoard, &QPlainTextEdit::textChanged, this, &frmMain::UpdateCharacterCount);
    // Drops arrive at the viewport; only file lists are taken, dragged text is refused.
    m_txtBoard->viewport()->installEventFilter(this);

    m_cmbIP = new QComboBox(client);
    m_cmbIP->setObjectName(QStringLiteral("cmbIP"));
    m_cmbIP->setEditable(true);
    m_cmbIP->setInsertPolicy(QComboBox::NoInsert); // the list grows only by the program's rules
    m_cmbIP->setFixedWidth(AddressWidth);
    // Keys reach the box (which hands them to its line edit) or, sent to it, the line edit.
    m_cmbIP->installEventFilter(this);
    m_cmbIP->lineEdit()->installEventFilter(this);

    const auto button = [client](const QString &name, const QString &caption) {
        auto *result = new QPushButton(caption, client);
        result->setObjectName(name);
        result->setFixedWidth(ButtonWidth);
        result->setAutoDefault(false);
        return result;
    };
    m_cmdSend = button(QStringLiteral("cmdSend"), QStringLiteral("Send"));
    m_cmdClear = button(QStringLiteral("cmdClear"), QStringLiteral("Clear"));
    m_cmdCopy = button(QStringLiteral("cmdCopy"), QStringLiteral("Copy"));
    m_cmdPaste = button(QStringLiteral("cmdPaste"), QStringLiteral("Paste"));
    connect(m_cmdSend, &QPushButton::clicked, this, &frmMain::cmdSend_Click);
    connect(m_cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(m_cmdCopy, &QPushButton::clicked, this, &frmMain::cmdCopy_Click);
    connect(m_cmdPaste, &QPushButton::clicked, this, &frmMain::cmdPaste_Click);

    m_lblStatus = StatusLabel(QStringLiteral("lblStatus"), client);
    // The status line takes the width the layout gives it and fits its text into that.
    m_lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_lblStatus->installEventFilter(this);
    m_lblBytes = StatusLabel(QStringLiteral("lblBytes"), client);
    m_lblBytes->setFixedWidth(CountWidth);
    m_lblBytes->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // The board takes the extra width and height; the address box and the buttons keep
    // their places at the left; the status line stretches beside the fixed count.
    auto *row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(m_cmbIP);
    row->addSpacing(5);
    row->addWidget(m_cmdSend);
    row->addSpacing(13);
    row->addWidget(m_cmdClear);
    row->addSpacing(3);
    row->addWidget(m_cmdCopy);
    row->addSpacing(3);
    row->addWidget(m_cmdPaste);
    row->addStretch(1);

    auto *status = new QHBoxLayout;
    status->setSpacing(4);
    status->addWidget(m_lblStatus, 1);
    status->addWidget(m_lblBytes);

    auto *layout = new QVBoxLayout(client);
    layout->setContentsMargins(2, 0, 2, 1);
    layout->setSpacing(4);
    layout->addWidget(m_txtBoard, 1);
    layout->addLayout(row);
    layout->addLayout(status);

    setTabOrder(m_txtBoard, m_cmdSend);
    setTabOrder(m_cmdSend, m_cmdClear);
    setTabOrder(m_cmdClear, m_cmdCopy);
    setTabOrder(m_cmdCopy, m_cmdPaste);
    setTabOrder(m_cmdPaste, m_cmbIP);
    UpdateCharacterCount();
}

void frmMain::BuildMenus()
{
    QMenu *mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    m_mnuFileItem = AddEntries(mnuFile, QStringLiteral("mnuFileItem"),
                               {{QStringLiteral("&New Document"), QKeySequence(Qt::CTRL | Qt::Key_N)},
                                {QStringLiteral("Open Document..."), QKeySequence(Qt::CTRL | Qt::Key_O)},
                                {QStringLiteral("-"), {}},
                                {QStringLiteral("Save Document..."), QKeySequence(Qt::CTRL | Qt::Key_S)},
                                {QStringLiteral("-"), {}},
                                {QStringLiteral("E&xit"), {}}},
                               [this](int index) { mnuFileItem_Click(index); });

    QMenu *mnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    m_mnuEditItem = AddEntries(mnuEdit, QStringLiteral("mnuEditItem"),
                               {{QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X)},
                                {QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C)},
                                {QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V)},
                                {QStringLiteral("&Delete"), {}},
                                {QStringLiteral("-"), {}},
                                {QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A)}},
                               [this](int index) { mnuEditItem_Click(index); });

    QMenu *mnuTools = menuBar()->addMenu(QStringLiteral("&Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    m_mnuToolsItem = AddEntries(mnuTools, QStringLiteral("mnuToolsItem"),
                                {{QStringLiteral("&Settings"), QKeySequence(Qt::Key_F2)},
                                 {QStringLiteral("&View Log"), QKeySequence(Qt::Key_F3)},
                                 {QStringLiteral("-"), {}},
                                 {QStringLiteral("&Restart Server"), {}}},
                                [this](int index) { mnuToolsItem_Click(index); });

    QMenu *mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    m_mnuHelpItem = AddEntries(mnuHelp, QStringLiteral("mnuHelpItem"), {{QStringLiteral("&About Textdrop..."), {}}},
                               [this](int index) { mnuHelpItem_Click(index); });

    // Opened by the tray icon, never shown in the bar.
    m_mnuPopup = new QMenu(QStringLiteral("Popup"), this);
    m_mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    m_mnuPopupItem = AddEntries(m_mnuPopup, QStringLiteral("mnuPopupItem"),
                                {{QStringLiteral("&Show"), {}},
                                 {QStringLiteral("&Hide"), {}},
                                 {QStringLiteral("-"), {}},
                                 {QStringLiteral("&Remove Textdrop"), {}}},
                                [this](int index) { mnuPopupItem_Click(index); });
}

void frmMain::Load()
{
    m_instance = new SingleInstance(QString(), this);
    if (!m_instance->Acquire()) {
        ShowMessage(QStringLiteral("Another instance of ") + Title + QStringLiteral(" is currently running.\n\n")
                        + QStringLiteral("This instance will shutdown automatically."),
                    QMessageBox::NoIcon);
        m_Settings.AlreadyRunning = true;
        return;
    }
    connect(m_instance, &SingleInstance::ShowRequested, this, &frmMain::ShowWindow);

    m_Server = new CZaridoDovoServer(this);
    m_msg = new CZaridoDovoClient(this);
    m_Tray = new CTray(this);
    connect(m_Server, &CZaridoDovoServer::Connected, this, &frmMain::Server_Connected);
    connect(m_Server, &CZaridoDovoServer::Disconnected, this, &frmMain::Server_Disconnected);
    connect(m_Server, &CZaridoDovoServer::Timeout, this, &frmMain::Server_Timeout);
    connect(m_Server, &CZaridoDovoServer::MessageError, this, &frmMain::Server_MessageError);
    connect(m_Server, &CZaridoDovoServer::MessageReceived, this, &frmMain::Server_MessageReceived);
    connect(m_msg, &CZaridoDovoClient::MessageSent, this, &frmMain::msg_MessageSent);
    connect(m_msg, &CZaridoDovoClient::Error, this, &frmMain::msg_Error);
    connect(m_msg, &CZaridoDovoClient::MessageError, this, &frmMain::msg_MessageError);
    connect(m_msg, &CZaridoDovoClient::NotSent, this, &frmMain::SetStatus);
    connect(m_Tray, &CTray::LButtonDblClick, this, &frmMain::Tray_LButtonDblClick);
    connect(m_Tray, &CTray::RButtonUp, this, &frmMain::Tray_RButtonUp);

    m_Settings.AppVersion = QStringLiteral("v" TEXTDROP_VERSION);

    m_frmLog = new frmLog(this);
    m_msg->Log().Start(QString(), m_frmLog->TextBoxView());

    const QString programFolder = m_environment.ProgramFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                                        : m_environment.ProgramFolder;
    m_Settings.BuildPaths(programFolder, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    m_cmbIP->addItems(ReadAddressList(m_Settings.AddressFile));
    m_cmbIP->setCurrentIndex(-1); // the list is offered, nothing is chosen

    m_Settings.Load();

    setWindowTitle(Title + QLatin1Char(' ') + m_Settings.AppVersion);

    m_Tray->SetPicBox(windowIcon());
    m_Tray->SetTipText(windowTitle());
    m_Tray->ShowIcon();
}

Settings &frmMain::AppSettings()
{
    return m_Settings;
}

bool frmMain::AlreadyRunning() const
{
    return m_Settings.AlreadyRunning;
}

SingleInstance &frmMain::Instance()
{
    return *m_instance;
}

CZaridoDovoServer *frmMain::Server() const
{
    return m_Server;
}

CZaridoDovoClient *frmMain::msg() const
{
    return m_msg;
}

frmLog *frmMain::LogWindow() const
{
    return m_frmLog;
}

QString frmMain::Tag() const
{
    return m_tag;
}

void frmMain::SetTag(const QString &tag)
{
    m_tag = tag;
}

void frmMain::ShowMessage(const QString &text, QMessageBox::Icon icon)
{
    if (m_environment.ShowMessage) {
        m_environment.ShowMessage(text, icon);
        return;
    }
    QMessageBox box(icon, Title, text, QMessageBox::Ok, this);
    box.exec();
}

bool frmMain::TrayAvailable() const
{
    switch (m_environment.Tray) {
    case TrayPresence::Present:
        return true;
    case TrayPresence::Absent:
        return false;
    case TrayPresence::Detect:
        break;
    }
    return CTray::Available();
}

void frmMain::StartServer()
{
    if (!m_Server)
        return;
    m_Server->Log().Start(QString(), m_frmLog->TextBoxView());

    QByteArray password;
    bool secureOnly = false;
    QString suffix;
    if (m_Settings.AcceptSecureOnly == 1) {
        password = m_Settings.CryptPassword.toUtf8();
        secureOnly = true;
        suffix = QStringLiteral(" [secure only]");
    } else if (!m_Settings.CryptPassword.isEmpty()) {
        password = m_Settings.CryptPassword.toUtf8();
        suffix = QStringLiteral(" [secure]");
    }

    const bool started =
        m_Server->StartServer(m_Settings.ServerIP, m_Settings.ServerPort, m_Settings.ServerTimeout, password, secureOnly);
    setWindowTitle(Title + QLatin1Char(' ') + m_Settings.AppVersion + suffix);

    // An empty address asks for every local one; a failed start leaves it empty.
    const QString ip = m_Server->LocalIP().isEmpty() ? QHostAddress(QHostAddress::AnyIPv4).toString() : m_Server->LocalIP();
    const QString where = ip + QLatin1Char(':') + QString::number(m_Server->LocalPort());
    if (started)
        SetStatus(QStringLiteral("Server started on ") + where);
    else
        SetStatus(QStringLiteral("Server failed to start on ") + where + QStringLiteral(" \u2014 see the log"));
}

void frmMain::SetStatus(const QString &msg)
{
    m_lblStatus->setProperty("Tag", StatusText(QDateTime::currentDateTime(), msg));
    AutoSizeCaption(m_lblStatus);
}

void frmMain::AutoSizeCaption(QLabel *lbl)
{
    const QString full = lbl->property("Tag").toString();
    if (ReadsAsNumberOrDate(full))
        return;
    const int width = lbl->contentsRect().width() - 2 * lbl->margin() - std::max(lbl->indent(), 0);
    lbl->setText(FitText(full, lbl->fontMetrics(), width));
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lblStatus && event->type() == QEvent::Resize) {
        AutoSizeCaption(m_lblStatus);
    } else if (watched == m_txtBoard->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            txtBoard_OLEDragOver(static_cast<QDragMoveEvent *>(event));
            return true;
        case QEvent::Drop:
            txtBoard_OLEDragDrop(static_cast<QDropEvent *>(event));
            return true;
        default:
            break;
        }
    } else if (watched == m_cmbIP || watched == m_cmbIP->lineEdit()) {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (event->type() == QEvent::KeyPress) {
                // Enter acts when it comes up; going down it must not pick an entry that
                // differs only in case.
                if (enter)
                    return true;
                cmbIP_KeyDown(key->key());
            } else if (!key->isAutoRepeat()) {
                cmbIP_KeyUp(key->key());
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QString frmMain::AddLogMessage(const QByteArray &message)
{
    if (m_Settings.LogPath.isEmpty())
        return {};
    const MessageArchive::Result saved = MessageArchive(m_Settings.LogPath).Save(message, m_Settings.SavedCount);
    if (m_Server)
        m_Server->AddLog(saved.LogLine());
    return saved.error;
}

QString frmMain::BoardText() const
{
    return m_txtBoard->toPlainText();
}

void frmMain::UpdateCharacterCount()
{
    m_lblBytes->setText(FormatCount(CharacterCount(BoardText())));
}

void frmMain::cmdSend_Click()
{
    const QString address = m_cmbIP->currentText();
    if (address.isEmpty()) {
        ShowMessage(QStringLiteral("No IP Address specified"), QMessageBox::Information);
        m_cmbIP->setFocus();
        return;
    }
    if (m_msg)
        m_msg->SendMessage(address, m_Settings.ServerPort, EncodeBoardText(BoardText()),
                           m_Settings.CryptPassword.toUtf8());
}

void frmMain::msg_MessageSent(int ticks)
{
    // The bytes that travelled, as the receiver counts them; the board may have changed since.
    SetStatus(FormatCount(m_msg->SentBytes()) + QStringLiteral(" bytes sent in ")
              + QLocale().toString(ticks / 1000.0, 'f', 2) + QStringLiteral(" seconds"));
}

void frmMain::msg_Error(int number, const QString &description)
{
    SetStatus(QStringLiteral("Send Error #") + QString::number(number) + QStringLiteral(" - ") + description);
}

void frmMain::msg_MessageError(const QByteArray &description)
{
    const QString meaning = ReplyExplanation(description);
    SetStatus(QStringLiteral("Remote Server Error: ") + DecodeText(description)
              + (meaning.isEmpty() ? QString() : QStringLiteral(" \u2014 ") + meaning));
}

void frmMain::Server_Connected(const QString &remoteIP)
{
    m_AwaitingMessage = true;
    SetStatus(QStringLiteral("Connection from ") + remoteIP);
}

void frmMain::Server_Disconnected(const QString &remoteIP)
{
    if (m_AwaitingMessage)
        SetStatus(QStringLiteral("Nothing received from ") + remoteIP);
}

void frmMain::Server_Timeout(const QString &remoteIP)
{
    SetStatus(QStringLiteral("Timeout waiting on ") + remoteIP);
}

void frmMain::Server_MessageError(const QString &description)
{
    SetStatus(QStringLiteral(" Error: ") + description);
}

void frmMain::Server_MessageReceived(const QByteArray &message, const QString &from)
{
    m_AwaitingMessage = false;
    // A failed save must not cost the message: the board shows it all the same.
    const QString notSaved = AddLogMessage(message);
    m_txtBoard->setPlainText(DecodeText(message));

    QString status = FormatCount(message.size()) + QStringLiteral(" bytes from (") + from + QLatin1Char(')');
    if (!notSaved.isEmpty())
        status += QStringLiteral(" \u2014 not saved: ") + notSaved;
    SetStatus(status);

    m_cmbIP->setEditText(from);
    AddAddress(from);
}

void frmMain::AddAddress(const QString &address)
{
    for (int i = 0; i < m_cmbIP->count(); ++i) {
        if (m_cmbIP->itemText(i) == address)
            return;
    }
    m_cmbIP->addItem(address);
    m_cmbIP->setEditText(QString());
    m_cmbIP->setCurrentIndex(m_cmbIP->count() - 1);
}

void frmMain::cmbIP_KeyDown(int key)
{
    const int index = m_cmbIP->currentIndex();
    // An entry counts as selected only while the box still shows it: once the text has been
    // edited, Delete is plain editing and must not cost a remembered address.
    if (key != Qt::Key_Delete || index < 0 || m_cmbIP->currentText() != m_cmbIP->itemText(index))
        return;
    QLineEdit *edit = m_cmbIP->lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    const int start = edit->selectionStart();
    const int length = int(edit->selectedText().size());
    m_cmbIP->removeItem(index);
    m_cmbIP->setCurrentIndex(-1);
    // The key then does its ordinary editing on the text as the user saw it.
    edit->setText(text);
    if (start < 0)
        edit->setCursorPosition(cursor);
    else if (cursor == start)
        edit->setSelection(start + length, -length);
    else
        edit->setSelection(start, length);
}

void frmMain::cmbIP_KeyUp(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        AddAddress(m_cmbIP->currentText());
}

void frmMain::cmdClear_Click()
{
    m_txtBoard->clear();
    m_txtBoard->setFocus();
}

void frmMain::cmdCopy_Click()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(BoardText());
}

void frmMain::cmdPaste_Click()
{
    // With no text on the clipboard the selection is replaced by nothing.
    QTextCursor cursor = m_txtBoard->textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    cursor.insertText(QGuiApplication::clipboard()->text());
    cursor.endEditBlock();
    m_txtBoard->setTextCursor(cursor);
}

void frmMain::txtBoard_OLEDragOver(QDragMoveEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.cbegin(), urls.cend(), [](const QUrl &url) { return url.isLocalFile(); })) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void frmMain::txtBoard_OLEDragDrop(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    activateWindow();
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty() || QFileInfo(path).isDir())
            continue;
        SetStatus(QStringLiteral(" Loading ") + path + QStringLiteral("..."));
        // Paint the status before a long load; the user's own input waits.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        // A failed load leaves its "Error loading " line standing.
        if (LoadFile(path, true))
            SetStatus(QStringLiteral(" Loaded ") + path);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void frmMain::ShowWindow()
{
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void frmMain::Tray_LButtonDblClick()
{
    ShowWindow();
}

void frmMain::Tray_RButtonUp()
{
    // Only the entry that changes the window's visibility is offered.
    const bool shown = isVisible();
    m_mnuPopupItem.at(0)->setVisible(!shown);
    m_mnuPopupItem.at(1)->setVisible(shown);
    m_mnuPopup->exec(QCursor::pos());
}

void frmMain::mnuPopupItem_Click(int index)
{
    switch (index) {
    case 0:
        ShowWindow();
        break;
    case 1:
        hide();
        break;
    case 3:
        SetTag(EndTag);
        close();
        break;
    default:
        break;
    }
}

void frmMain::mnuFileItem_Click(int index)
{
    switch (index) {
    case 0:
        NewDocument();
        break;
    case 1:
        OpenDocument();
        break;
    case 3:
        SaveDocument();
        break;
    case 5:
        SetTag(EndTag);
        close();
        break;
    default:
        break;
    }
}

void frmMain::mnuEditItem_Click(int index)
{
    EditCommand(index);
}

void frmMain::mnuToolsItem_Click(int index)
{
    switch (index) {
    case 0:
        OpenSettings();
        break;
    case 1:
        if (!m_frmLog)
            break;
        m_frmLog->show();
        m_frmLog->raise();
        m_frmLog->activateWindow();
        break;
    case 3:
        if (m_Server) {
            m_Server->StopServer();
            StartServer();
        }
        break;
    default:
        break;
    }
}

void frmMain::mnuHelpItem_Click(int index)
{
    if (index == 0)
        ShowAbout();
}

void frmMain::NewDocument()
{
    m_txtBoard->clear();
    SetStatus(QStringLiteral("New Document"));
    m_txtBoard->setFocus();
}

void frmMain::OpenDocument()
{
    QString name;
    const QString path = cDialog().GetOpenName(this, name, QString(), QStringLiteral("Load Document"), DocumentFilter,
                                               QString());
    if (!path.isEmpty())
        LoadFile(path, false);
}

void frmMain::SaveDocument()
{
    QString name = QStringLiteral("untitled.txt");
    const QString path = cDialog().GetSaveName(this, name, QString(), QStringLiteral("Save Document"), DocumentFilter,
                                               QStringLiteral("txt"));
    if (path.isEmpty())
        return;

    // The old file stays whole until the new one is complete; a read-only file is refused.
    QString reason;
    if (!SaveWholeFile(path, EncodeBoardText(BoardText()) + "\r\n", &reason, true)) {
        ShowMessage(reason, QMessageBox::Information);
        SetStatus(QStringLiteral("Error saving ") + path);
        return;
    }
    SetStatus(QStringLiteral("Saved ") + path);
}

bool frmMain::LoadFile(const QString &path, bool append)
{
    const QString limit = QLocale().formattedDataSize(DocumentLimit);
    QString error;
    QByteArray bytes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
    } else if (!file.isSequential() && file.size() > DocumentLimit) {
        error = QStringLiteral("The file is too large for the board: ") + QLocale().formattedDataSize(file.size())
                + QStringLiteral(", the board takes up to ") + limit + QLatin1Char('.');
    } else {
        // One byte more than the limit tells a pipe or a growing file that is too large.
        bytes = file.read(DocumentLimit + 1);
        if (file.error() != QFileDevice::NoError)
            error = file.errorString();
        else if (bytes.size() > DocumentLimit)
            error = QStringLiteral("The file is too large for the board, which takes up to ") + limit
                    + QLatin1Char('.');
    }
    file.close();
    if (!error.isEmpty()) {
        ShowMessage(error, QMessageBox::Information);
        SetStatus(QStringLiteral("Error loading ") + path);
        return false;
    }

    const QString text = DecodeText(bytes);
    m_txtBoard->setPlainText(append ? BoardText() + text : text);
    SetStatus(QStringLiteral("Loaded ") + path);
    return true;
}

void frmMain::EditCommand(int index)
{
    // Cut, Copy and Paste act on the control that has the focus, as its own keys would.
    QWidget *focused = QApplication::focusWidget();
    QLineEdit *address = m_cmbIP->lineEdit();
    const bool onBoard = focused == m_txtBoard;
    const bool onAddress = focused == m_cmbIP || focused == address;
    switch (index) {
    case 0:
        if (onBoard)
            m_txtBoard->cut();
        else if (onAddress)
            address->cut();
        break;
    case 1:
        if (onBoard)
            m_txtBoard->copy();
        else if (onAddress)
            address->copy();
        break;
    case 2:
        if (onBoard)
            m_txtBoard->paste();
        else if (onAddress)
            address->paste();
        break;
    case 3:
        m_txtBoard->textCursor().removeSelectedText();
        break;
    case 5:
        m_txtBoard->selectAll();
        break;
    default:
        break;
    }
}

void frmMain::OpenSettings()
{
    if (frmSettings::Open(m_Settings, this) && m_Server) {
        m_Server->StopServer();
        StartServer();
    }
}

void frmMain::ShowAbout()
{
    frmAbout::Open(this);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_tag != EndTag) {
        // Without a tray a hidden window could never be brought back.
        if (TrayAvailable())
            hide();
        else
            showMinimized();
        event->ignore();
        return;
    }
    Quit();
    event->accept();
    emit Closed();
}

void frmMain::Quit()
{
    if (AlreadyRunning())
        return; // a refused copy leaves the running one's files alone

    // Each step goes on whatever the one before it managed.
    m_Settings.Save();

    QStringList addresses;
    for (int i = 0; i < m_cmbIP->count(); ++i)
        addresses.append(m_cmbIP->itemText(i));
    if (!m_Settings.AddressFile.isEmpty())
        WriteAddressList(m_Settings.AddressFile, addresses);

    m_txtBoard->clear();

    if (m_frmLog)
        m_frmLog->SetTag(EndTag);
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        if ((*it)->isWindow())
            (*it)->close();
    }

    // Released later: this may run inside a handler of the tray or an endpoint.
    if (m_Tray) {
        m_Tray->DeleteIcon();
        m_Tray->deleteLater();
        m_Tray = nullptr;
    }
    if (m_Server) {
        m_Server->StopServer();
        m_Server->deleteLater();
        m_Server = nullptr;
    }
    if (m_msg) {
        m_msg->deleteLater();
        m_msg = nullptr;
    }
}
