#include "app/frmMain.h"

#include "app/AddressBox.h"
#include "app/AppController.h"
#include "desktop/AppIcon.h"
#include "app/AppTray.h"
#include "app/Board.h"
#include "app/DocumentCommands.h"
#include "app/MessageDesk.h"
#include "app/PhonePeers.h"
#include "app/SendRound.h"
#include "desktop/SingleInstance.h"
#include "phone/PhoneServer.h"
#include "app/StatusLine.h"
#include "app/StatusText.h"
#include "core/TextBytes.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "discovery/LocalAddresses.h"
#include "discovery/PeerBrowser.h"
#include "discovery/ServiceAnnouncer.h"
#include "protocol/ReplyWords.h"
#include "desktop/CTray.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/cDialogRunner.h"
#include "windows/frmAbout.h"
#include "windows/frmLog.h"
#include "windows/frmSettings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The design: a 379 x 240 pixel client area below the menu bar, at least 67 pixels high.
constexpr int ClientWidth = 379;
constexpr int ClientHeight = 240;
constexpr int MinimumClientHeight = 67;
constexpr int ButtonWidth = 52;
constexpr int AddressWidth = 143;
constexpr int CountWidth = 73;
constexpr int LabelIndent = 2;
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

    m_txtBoard = new Board(client);
    m_txtBoard->setMinimumHeight(19);
    connect(m_txtBoard, &QPlainTextEdit::textChanged, this, &frmMain::UpdateCharacterCount);
    connect(m_txtBoard, &Board::SendRequested, this, &frmMain::cmdSend_Click);
    m_documents = new DocumentCommands(
        m_txtBoard, [this](const QString &text, QMessageBox::Icon icon) { ShowMessage(text, icon); }, this);
    connect(m_txtBoard, &Board::FilesDropped, m_documents, &DocumentCommands::LoadDropped);
    connect(m_documents, &DocumentCommands::StatusChanged, this, &frmMain::SetStatus);

    m_cmbIP = new AddressBox(client);
    m_cmbIP->setFixedWidth(AddressWidth);
    m_cmbIP->setToolTip(tr("Where to send: an address, a name, or address:port; Ctrl+click ticks entries "
                           "to send to several (Ctrl+L)"));
    auto *toAddress = new QAction(this);
    toAddress->setObjectName(QStringLiteral("actAddressBox"));
    toAddress->setShortcut(Qt::CTRL | Qt::Key_L);
    connect(toAddress, &QAction::triggered, this, [this] {
        m_cmbIP->setFocus(Qt::ShortcutFocusReason);
        m_cmbIP->lineEdit()->selectAll();
    });
    addAction(toAddress);

    m_lblStatus = new StatusLine(QStringLiteral("lblStatus"), client);
    // The status line takes the width the layout gives it and fits its text into that.
    m_lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_lblBytes = new QLabel(client);
    m_lblBytes->setObjectName(QStringLiteral("lblBytes"));
    m_lblBytes->setToolTip(tr("Characters on the board"));
    m_lblBytes->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_lblBytes->setIndent(LabelIndent);
    m_lblBytes->setFixedWidth(CountWidth);
    m_lblBytes->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // The board takes the extra width and height; the address box and the buttons keep
    // their places at the left; the status line stretches beside the fixed count.
    auto *status = new QHBoxLayout;
    status->setSpacing(4);
    status->addWidget(m_lblStatus, 1);
    status->addWidget(m_lblBytes);

    auto *layout = new QVBoxLayout(client);
    layout->setContentsMargins(2, 0, 2, 1);
    layout->setSpacing(4);
    layout->addWidget(m_txtBoard, 1);
    layout->addLayout(BuildButtonRow(client));
    layout->addLayout(status);
    UpdateCharacterCount();
}

QLayout *frmMain::BuildButtonRow(QWidget *client)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(m_cmbIP);
    QList<QWidget *> order{m_txtBoard};
    const auto button = [&](const char *name, const QString &caption, const QString &tip, auto handler, int gapBefore) {
        auto *result = new QPushButton(caption, client);
        result->setObjectName(QLatin1String(name));
        result->setToolTip(tip);
        result->setFixedWidth(ButtonWidth);
        result->setAutoDefault(false);
        connect(result, &QPushButton::clicked, this, handler);
        row->addSpacing(gapBefore);
        row->addWidget(result);
        order.append(result);
    };
    button("cmdSend", tr("&Send"), tr("Send the board to the address in the box, or to each ticked entry (Ctrl+Enter)"),
           &frmMain::cmdSend_Click, 5);
    button("cmdClear", tr("Clear"), tr("Empty the board; Ctrl+Z brings back what you typed"),
           [this] { m_txtBoard->Clear(); }, 13);
    button("cmdCopy", tr("Copy"), tr("Copy the whole board to the clipboard"), [this] { m_txtBoard->CopyAll(); }, 3);
    button("cmdPaste", tr("Paste"), tr("Put the clipboard's text in place of the selection"),
           [this] { m_txtBoard->PasteClipboard(); }, 3);
    row->addStretch(1);
    order.append(m_cmbIP);
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    return row;
}

template <typename Handler>
QAction *frmMain::AddCommand(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut,
                             Handler handler)
{
    QAction *action = menu->addAction(caption, this, handler);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    return action;
}

void frmMain::BuildMenus()
{
    // Each command is named after its menu and its place in it, separators counted.
    QMenu *mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    AddCommand(mnuFile, "mnuFileItem0", tr("&New Document"), Qt::CTRL | Qt::Key_N, [this] { m_documents->NewDocument(); });
    AddCommand(mnuFile, "mnuFileItem1", tr("Open Document..."), Qt::CTRL | Qt::Key_O, [this] { m_documents->OpenDocument(); });
    mnuFile->addSeparator();
    AddCommand(mnuFile, "mnuFileItem3", tr("Save Document..."), Qt::CTRL | Qt::Key_S, [this] { m_documents->SaveDocument(); });
    mnuFile->addSeparator();
    AddCommand(mnuFile, "mnuFileItem5", tr("E&xit"), {}, &frmMain::ExitProgram);

    QMenu *mnuEdit = menuBar()->addMenu(tr("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    AddCommand(mnuEdit, "mnuEditItem0", tr("Cu&t"), Qt::CTRL | Qt::Key_X, [this] { EditFocused([](auto *edit) { edit->cut(); }); });
    AddCommand(mnuEdit, "mnuEditItem1", tr("&Copy"), Qt::CTRL | Qt::Key_C, [this] { EditFocused([](auto *edit) { edit->copy(); }); });
    AddCommand(mnuEdit, "mnuEditItem2", tr("&Paste"), Qt::CTRL | Qt::Key_V, [this] { EditFocused([](auto *edit) { edit->paste(); }); });
    AddCommand(mnuEdit, "mnuEditItem3", tr("&Delete"), {}, [this] { m_txtBoard->textCursor().removeSelectedText(); });
    mnuEdit->addSeparator();
    AddCommand(mnuEdit, "mnuEditItem5", tr("Select &All"), Qt::CTRL | Qt::Key_A, [this] { m_txtBoard->selectAll(); });
    mnuEdit->addSeparator();
    AddCommand(mnuEdit, "mnuEditItem7", tr("&Undo"), QKeySequence::Undo, [this] { m_txtBoard->Undo(); });
    AddCommand(mnuEdit, "mnuEditItem8", tr("&Redo"), Qt::CTRL | Qt::SHIFT | Qt::Key_Z, [this] { m_txtBoard->Redo(); });

    QMenu *mnuTools = menuBar()->addMenu(tr("&Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    AddCommand(mnuTools, "mnuToolsItem0", tr("&Settings"), Qt::Key_F2, &frmMain::OpenSettings);
    AddCommand(mnuTools, "mnuToolsItem1", tr("&View Log"), Qt::Key_F3, [this] { m_frmLog->show(), m_frmLog->raise(), m_frmLog->activateWindow(); });
    mnuTools->addSeparator();
    AddCommand(mnuTools, "mnuToolsItem3", tr("&Restart Server"), {}, [this] { m_controller->RestartServer(); });
    AddCommand(mnuTools, "mnuToolsItem4", tr("&History"), Qt::CTRL | Qt::Key_H, [this] { if (m_desk) m_desk->OpenHistory(); });
    AddCommand(mnuTools, "mnuToolsItem5", tr("Pair a &phone\u2026"), {}, [this] { if (m_phones) m_phones->OpenPairing(); });

    QMenu *mnuHelp = menuBar()->addMenu(tr("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    AddCommand(mnuHelp, "mnuHelpItem0", tr("&About Textdrop..."), {}, [this] { frmAbout::Open(this); });
}

void frmMain::Load()
{
    const int tick = m_environment.ServerTickMilliseconds;
    m_controller = new AppController(m_environment.ProgramFolder,
                                     tick > 0 ? tick : CZaridoDovoServer::DefaultTickMilliseconds, Title, this);
    if (!m_controller->Acquire()) {
        // The running copy comes forward at once; the box only tells why, and goes by itself.
        m_controller->Instance().AskRunningCopyToShow();
        QMessageBox box(QMessageBox::NoIcon, Title,
                        tr("Another instance of %1 is currently running.\n\nThis instance will shutdown automatically.")
                            .arg(Title),
                        QMessageBox::Ok, this);
        const int period = m_environment.RefusedNoticeMilliseconds;
        QTimer::singleShot(period > 0 ? period : RefusedNoticeMilliseconds, &box, &QDialog::accept);
        cDialogRunner::Current().Exec(box);
        return;
    }
    connect(&m_controller->Instance(), &SingleInstance::ShowRequested, this, &frmMain::ShowWindow);

    m_frmLog = new frmLog(this);
    m_cmbIP->addItems(m_controller->Load(m_frmLog->TextBoxView()));
    // Where the user left the window; what cannot be read leaves it centred.
    restoreGeometry(QByteArray::fromBase64(m_controller->Store().Value(SettingKey::WindowGeometry).toString().toLatin1()));
    m_cmbIP->setCurrentIndex(-1); // the list is offered, nothing is chosen
    m_Tray = new AppTray(this);

    CZaridoDovoServer *server = m_controller->Server();
    connect(server, &CZaridoDovoServer::Connected, this, &frmMain::Server_Connected);
    connect(server, &CZaridoDovoServer::Disconnected, this, &frmMain::Server_Disconnected);
    connect(server, &CZaridoDovoServer::Timeout, this, &frmMain::Server_Timeout);
    connect(server, &CZaridoDovoServer::MessageError, this, &frmMain::Server_MessageError);
    connect(server, &CZaridoDovoServer::MessageReceived, this, [this](const QByteArray &message, const QString &from) {
        m_AwaitingMessage = false;
        m_desk->Admit(message, from);
    });
    m_desk = new MessageDesk(*m_controller, m_txtBoard, m_cmbIP, m_Tray, this, QDBusConnection::sessionBus(),
                             m_environment.HistoryFile);
    connect(m_desk, &MessageDesk::StatusChanged, this, &frmMain::SetStatus);
    connect(m_desk, &MessageDesk::ShowRequested, this, &frmMain::ShowWindow);
    m_phones = new PhonePeers(*m_desk, *m_cmbIP, *this, PhonePort());
    connect(m_phones, &PhonePeers::StatusChanged, this, &frmMain::SetStatus);
    connect(&m_controller->Store(), &SettingsStore::Changed, m_phones, [this](SettingKey key) {
        if (key == SettingKey::PhonePort)
            m_phones->SetPort(PhonePort());
    });
    CZaridoDovoClient *msg = m_controller->Client();
    connect(msg, &CZaridoDovoClient::MessageSent, this, &frmMain::msg_MessageSent);
    connect(msg, &CZaridoDovoClient::Error, this, &frmMain::msg_Error);
    connect(msg, &CZaridoDovoClient::MessageError, this, &frmMain::msg_MessageError);
    connect(msg, &CZaridoDovoClient::NotSent, this, &frmMain::SetStatus);
    // Connected after the window's own handlers: its summary is the last word on the status line.
    m_round = new SendRound(*m_desk, *msg, this);
    connect(m_round, &SendRound::Sending, this, [this](const SendRound::Destination &to) { m_toPeer = to.found; });
    connect(m_round, &SendRound::Finished, this, &frmMain::SetStatus);
    connect(m_controller, &AppController::ServerStarted, this, &frmMain::OnServerStarted);
    connect(m_controller, &AppController::KeyringFailed, this, &frmMain::Warn);
    // Queued: the start may run before the event loop, and the settings window is modal.
    connect(m_controller, &AppController::PasswordNeeded, this, &frmMain::AskForPassword, Qt::QueuedConnection);
    m_notifier = new DesktopNotifier(QDBusConnection::sessionBus(), this);
    connect(m_notifier, &DesktopNotifier::Unavailable, this, [this](const QString &summary, const QString &body) {
        if (m_Tray)
            m_Tray->ShowBalloon(summary, body);
    });
    // The session manager asks before a log-out; the end of the event loop is the last chance.
    const auto saveAll = [this] {
        SavePlace();
        m_controller->SaveAll(m_phones->WithoutPhones(m_cmbIP->Entries()));
    };
    connect(qApp, &QGuiApplication::commitDataRequest, this, saveAll);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this, saveAll] {
        if (!m_quitting)
            saveAll();
    });
    // Other computers find this one, and this one them, through the desktop's Avahi daemon.
    m_announcer = new ServiceAnnouncer(QDBusConnection::systemBus(), this);
    m_peers = new PeerBrowser(QDBusConnection::systemBus(), this);
    m_peers->SkipId(m_announcer->InstanceId());
    connect(m_peers, &PeerBrowser::PeersChanged, this, [this] { m_cmbIP->SetPeers(m_peers->Peers()); });
    m_peers->Start();
    connect(m_Tray, &AppTray::ShowRequested, this, &frmMain::ShowWindow);
    connect(m_Tray, &AppTray::QuitRequested, this, &frmMain::ExitProgram);

    setWindowTitle(Title + QLatin1Char(' ') + m_controller->Run().AppVersion);
    m_Tray->ShowIcon(windowIcon(), windowTitle());
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

void frmMain::StartServer()
{
    m_controller->StartServer();
}

void frmMain::OnServerStarted(bool started, const QString &where, const QString &captionSuffix)
{
    const QString caption = Title + QLatin1Char(' ') + m_controller->Run().AppVersion;
    setWindowTitle(caption + captionSuffix);
    if (started) {
        // Where others reach this computer; the log keeps the server's own words.
        const int colon = int(where.lastIndexOf(QLatin1Char(':')));
        QString host = where.left(colon).remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        const int port = where.mid(colon + 1).toInt();
        if (host == QLatin1String("0.0.0.0") || host == QLatin1String("::") || host.isEmpty())
            host = LocalAddresses().value(0, host);
        const QString name = ComputerName();
        const QString reach = tr("Receiving on %1 as %2").arg(WithPort(host, port), name);
        SetStatus(reach);
        m_Tray->SetTip(caption + QLatin1Char('\n') + reach);
        const Settings &settings = m_controller->AppSettings();
        m_announcer->Announce(name, static_cast<quint16>(port),
                              settings.Security.HasPassword() && settings.Stored.Cipher == ZaridoDovo::Cipher::Sealed);
    } else {
        m_announcer->Withdraw();
        SetStatus(tr("Server failed to start on %1 \u2014 see the log").arg(where));
        // Hidden in the tray, the window cannot tell the user that nothing arrives.
        m_Tray->SetTip(tr("%1: not receiving").arg(caption));
    }
}

void frmMain::Warn(const QString &text)
{
    SetStatus(text);
    m_notifier->Notify(Title, text, {}, {});
}

void frmMain::AskForPassword()
{
    Warn(tr("Plain text is refused: \"Accept only secure connections\" is chosen and no password is set. "
            "Enter the password in the settings."));
    ShowWindow();
    OpenSettings();
}

void frmMain::SetStatus(const QString &msg)
{
    m_lblStatus->SetFullText(StatusText(QDateTime::currentDateTime(), msg));
}

void frmMain::UpdateCharacterCount()
{
    m_lblBytes->setText(FormatCount(CharacterCount(m_txtBoard->Text())));
}

void frmMain::cmdSend_Click()
{
    if (m_round->Busy())
        return;
    const QList<AddressBox::Ticked> ticked = m_cmbIP->TickedEntries();
    if (!ticked.isEmpty()) {
        QList<SendRound::Destination> each;
        for (const AddressBox::Ticked &entry : ticked)
            each.append({entry.label, entry.address, entry.found});
        m_round->Start(each, EncodeBoardText(m_txtBoard->Text()));
        return;
    }
    const QString address = m_cmbIP->currentText();
    if (address.isEmpty()) {
        ShowMessage(tr("No IP Address specified"), QMessageBox::Information);
        m_cmbIP->setFocus();
        return;
    }
    if (m_phones->Send(address, EncodeBoardText(m_txtBoard->Text())))
        return;
    // A computer found on the network is sent to at its announced address and port.
    const QString peer = m_cmbIP->PeerTarget();
    m_toPeer = !peer.isEmpty();
    m_desk->Send(m_toPeer ? peer : address, EncodeBoardText(m_txtBoard->Text()), !m_toPeer);
}

void frmMain::msg_MessageSent(int ticks)
{
    // The bytes that travelled, as the receiver counts them; the board may have changed since.
    SetStatus(FormatCount(m_controller->Client()->SentBytes()) + tr(" bytes sent in ")
              + QLocale().toString(ticks / 1000.0, 'f', 2) + tr(" seconds"));
    m_desk->Sent();
}

void frmMain::msg_Error(int number, const QString &description)
{
    SetStatus(tr("Send Error #") + QString::number(number) + QStringLiteral(" - ") + description
              + (m_toPeer ? tr(" \u2014 the computer may be blocked by a firewall, or by the network "
                               "(client isolation on Wi-Fi)")
                          : QString()));
}

void frmMain::msg_MessageError(const QByteArray &description)
{
    const QString meaning = ReplyExplanation(description);
    SetStatus(tr("Remote Server Error: ") + DecodeText(description)
              + (meaning.isEmpty() ? QString() : QStringLiteral(" \u2014 ") + meaning));
}

void frmMain::Server_Connected(const QString &remoteIP)
{
    m_AwaitingMessage = true;
    SetStatus(tr("Connection from ") + remoteIP);
}

void frmMain::Server_Disconnected(const QString &remoteIP)
{
    if (m_AwaitingMessage)
        SetStatus(tr("Nothing received from ") + remoteIP);
}

void frmMain::Server_Timeout(const QString &remoteIP)
{
    SetStatus(tr("Timeout waiting on ") + remoteIP);
}

void frmMain::Server_MessageError(const QString &description)
{
    SetStatus(tr(" Error: ") + description);
    m_desk->Refused(description);
}

void frmMain::ShowWindow()
{
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void frmMain::ExitProgram()
{
    m_quitting = true;
    close();
}

template <typename Command>
void frmMain::EditFocused(Command command)
{
    QWidget *focused = QApplication::focusWidget();
    if (focused == m_txtBoard)
        command(static_cast<QPlainTextEdit *>(m_txtBoard));
    else if (focused == m_cmbIP || focused == m_cmbIP->lineEdit())
        command(m_cmbIP->lineEdit());
}

void frmMain::OpenSettings()
{
    if (m_quitting)
        return;
    NetworkView &network = m_controller->AppSettings().Network;
    network.ComputerName = ComputerName();
    network.State = m_announcer->IsPublished()
                        ? tr("Announced on the network as %1").arg(m_announcer->PublishedName())
                        : tr("Discovery is off: %1")
                              .arg(m_announcer->errorString().isEmpty() ? tr("the receiver is not running")
                                                                        : m_announcer->errorString());
    network.Addresses.clear();
    for (const QString &address : LocalAddresses())
        network.Addresses += WithPort(address, m_controller->Server()->LocalPort());
    if (frmSettings::Open(m_controller->AppSettings(), this, m_phones ? m_phones->Server() : nullptr)) {
        SetComputerName(network.ComputerName);
        m_announcer->ChangeName(ComputerName());
        m_controller->ApplySettings();
    }
}

quint16 frmMain::PhonePort() const
{
    return m_environment.PhonePort ? m_environment.PhonePort : quint16(m_controller->AppSettings().Prefs.PhonePort);
}

bool frmMain::HasTray() const
{
    const TrayPresence tray = m_environment.Tray;
    return tray == TrayPresence::Present || (tray == TrayPresence::Detect && CTray::Available());
}

void frmMain::Present(bool hidden)
{
    if (!hidden)
        show();
    else if (!HasTray())
        showMinimized();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!m_quitting) {
        // Without a tray a hidden window could never be brought back.
        if (HasTray())
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

void frmMain::SavePlace()
{
    m_controller->Store().SetValue(SettingKey::WindowGeometry, QString::fromLatin1(saveGeometry().toBase64()));
}

void frmMain::Quit()
{
    if (m_controller->Run().AlreadyRunning)
        return; // a refused copy leaves the running one's files alone
    // Each step goes on whatever the one before it managed.
    SavePlace();
    m_controller->Quit(m_phones ? m_phones->WithoutPhones(m_cmbIP->Entries()) : m_cmbIP->Entries());
    m_txtBoard->clear();
    if (m_frmLog)
        m_frmLog->AllowClose();
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        if ((*it)->isWindow())
            (*it)->close();
    }
    if (m_Tray) {
        m_Tray->Remove();
        m_Tray->deleteLater(); // this may run inside the tray menu's handler
        m_Tray = nullptr;
    }
}
