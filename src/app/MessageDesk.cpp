#include "app/MessageDesk.h"

#include "app/AddressBox.h"
#include "discovery/TypedAddress.h"
#include "app/AppController.h"
#include "app/ArrivalNotice.h"
#include "app/Board.h"
#include "core/TextBytes.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/WireFormat.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/OwnerPlacement.h"
#include "windows/frmHistory.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>

MessageDesk::MessageDesk(AppController &controller, Board *board, AddressBox *addresses, AppTray *tray,
                         QWidget *window, const QDBusConnection &bus, const QString &historyFile)
    : QObject(window)
    , m_controller(controller)
    , m_board(board)
    , m_addresses(addresses)
    , m_window(window)
    , m_recorder(historyFile.isEmpty() ? DefaultHistoryFile() : historyFile)
    , m_notice(new ArrivalNotice(window, tray, new DesktopNotifier(bus, this), this))
{
    connect(m_notice, &ArrivalNotice::ShowRequested, this, &MessageDesk::ShowRequested);
    connect(m_notice, &ArrivalNotice::SenderShown, this, &MessageDesk::ShowSender);
    connect(m_notice, &ArrivalNotice::SenderBlocked, this, &MessageDesk::BlockSender);
    m_checkpoint.setSingleShot(true);
    m_checkpoint.setInterval(CheckpointDelayMilliseconds);
    connect(&m_checkpoint, &QTimer::timeout, this, [this] {
        const QString damageWas = m_recorder.Damage();
        m_recorder.Checkpoint();
        if (m_recorder.Damage() != damageWas)
            TellOfDamage();
    });
    // The draft is kept with the destination the user typed; the box has not changed yet.
    connect(m_board, &Board::DraftKept, this, [this](const QString &draft) {
        m_draftError = Record(int(HistoryStore::Direction::Draft), m_addresses->currentText(), false,
                              EncodeBoardText(draft))
            ? QString()
            : m_recorder.errorString();
    });
    if (CZaridoDovoServer *server = m_controller.Server())
        connect(server, &CZaridoDovoServer::Connected, this, [this](const QString &peer) { m_lastPeer = peer; });
    // The history's rules and the notifications follow the settings as they are written.
    connect(&m_controller.Store(), &SettingsStore::Changed, this, [this](SettingKey key) {
        if (Directive(key).group == Directive(SettingKey::Notify).group)
            ApplySettings();
    });
    ApplySettings();
}

MessageDesk::~MessageDesk()
{
    // The history window shows the store the recorder holds: it goes first.
    delete m_history;
}

QString MessageDesk::DefaultHistoryFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("history.sqlite"));
}

void MessageDesk::ApplySettings()
{
    const Preferences &prefs = m_controller.AppSettings().Prefs;
    m_recorder.SetRules(prefs);
    m_notice->SetEnabled(prefs.Notify);
}

bool MessageDesk::Enciphered() const
{
    // A secure receiver may also take plain messages, and which one came is not told apart
    // here: every message it takes counts as enciphered, so none lands on disk unasked.
    return m_controller.AppSettings().Security.HasPassword();
}

bool MessageDesk::Record(int direction, const QString &peer, bool enciphered, const QByteArray &text)
{
    const QString damageWas = m_recorder.Damage();
    const bool written = m_recorder.Record(HistoryStore::Direction(direction), peer,
                                           enciphered ? EncipheredMark : QString(), text);
    if (m_recorder.Damage() != damageWas)
        TellOfDamage();
    if (!m_checkpoint.isActive())
        m_checkpoint.start();
    if (m_history)
        m_history->Reload();
    return written || !m_recorder.FailureIsNew();
}

void MessageDesk::TellOfDamage()
{
    // A status line is overwritten by the next arrival: this stays in the history window.
    m_notice->Warn(tr("History damaged"), m_recorder.Damage());
    if (m_history)
        m_history->ShowNotice(m_recorder.Damage());
}

void MessageDesk::Receive(const QByteArray &message, const QString &from)
{
    // A failed save must not cost the message: the board shows it all the same.
    const QString notSaved = m_controller.AddLogMessage(message) ? QString() : m_controller.errorString();
    const QString typedAddress = m_addresses->currentText();
    m_draftError.clear();
    m_board->Receive(DecodeText(message));
    QString historyError = m_draftError;
    if (!Record(int(HistoryStore::Direction::Received), from, Enciphered(), message) && historyError.isEmpty())
        historyError = m_recorder.errorString();
    if (m_controller.AppSettings().Prefs.CopyReceived)
        QGuiApplication::clipboard()->setText(DecodeText(message));

    QString status = FormatCount(message.size()) + tr(" bytes from (") + from + QLatin1Char(')');
    if (m_board->Shortened())
        status += tr(" \u2014 long accent piles shown shortened; Copy and Send take them whole");
    if (!notSaved.isEmpty())
        status += tr(" \u2014 not saved: ") + notSaved;
    if (!historyError.isEmpty())
        status += tr(" \u2014 history not written: ") + historyError;
    emit StatusChanged(status);

    // The sender joins the list; a destination the user typed stays in the box.
    const bool typed = !typedAddress.isEmpty() && typedAddress != m_senderShown;
    m_addresses->setEditText(from);
    m_addresses->AddAddress(from);
    if (typed)
        m_addresses->setEditText(typedAddress);
    else
        m_senderShown = from;
    m_notice->Arrived(from, message);
}

void MessageDesk::Admit(const QByteArray &message, const QString &from)
{
    const Settings &settings = m_controller.AppSettings();
    if (settings.Prefs.BlockedSenders.contains(from)) {
        if (CZaridoDovoServer *server = m_controller.Server())
            server->RefuseMessage(QByteArray(ZaridoDovo::ReplyBad.data(), qsizetype(ZaridoDovo::ReplyBad.size())),
                                  QStringLiteral("Blocked sender ") + from);
        emit StatusChanged(tr("A message from %1 was refused: the sender is blocked").arg(from));
        return;
    }
    if (!settings.Prefs.AskNewSenders || m_addresses->Knows(from, quint16(settings.Stored.ServerPort))) {
        Receive(message, from);
        return;
    }
    QString status = FormatCount(message.size()) + tr(" bytes from (") + from + QLatin1Char(')')
                     + tr(" — a new sender: kept aside until you choose Show in its notification or put it "
                          "on the board from the history");
    if (!Record(int(HistoryStore::Direction::Received), from, Enciphered(), message))
        status += tr(" — history not written: ") + m_recorder.errorString();
    // A flood from strangers must not fill the memory: the oldest go, the history keeps them.
    constexpr qsizetype KeptAside = 64;
    m_keptAside.append({from, message});
    if (m_keptAside.size() > KeptAside)
        m_keptAside.removeFirst();
    emit StatusChanged(status);
    m_notice->Stranger(from, message);
}

void MessageDesk::ShowSender(const QString &sender)
{
    QByteArray latest;
    bool found = false;
    m_keptAside.removeIf([&](const std::pair<QString, QByteArray> &kept) {
        if (kept.first != sender)
            return false;
        latest = kept.second;
        found = true;
        return true;
    });
    const QString shown = m_addresses->currentText();
    m_addresses->AddAddress(sender);
    m_addresses->setEditText(shown);
    if (found)
        m_board->Receive(DecodeText(latest));
    emit ShowRequested();
}

void MessageDesk::BlockSender(const QString &sender)
{
    m_keptAside.removeIf([&sender](const std::pair<QString, QByteArray> &kept) { return kept.first == sender; });
    Preferences &prefs = m_controller.AppSettings().Prefs;
    if (!prefs.BlockedSenders.contains(sender)) {
        prefs.BlockedSenders.append(sender);
        prefs.Save(m_controller.Store());
    }
    emit StatusChanged(tr("%1 is blocked; Tools → Settings lists it to unblock").arg(sender));
}

void MessageDesk::Refused(const QString &description)
{
    m_notice->Refused(m_lastPeer, description);
}

void MessageDesk::Sent()
{
    m_board->MarkSent();
    if (!m_pending)
        return;
    const Pending sent = *m_pending;
    m_pending.reset();
    if (sent.remember) {
        // Remembered once it worked; what the user has typed since stays in the box.
        const QString shown = m_addresses->currentText();
        m_addresses->AddAddress(sent.address);
        m_addresses->setEditText(shown);
    }
    if (!Record(int(HistoryStore::Direction::Sent), sent.address, sent.enciphered, sent.text))
        emit StatusChanged(tr("History not written: ") + m_recorder.errorString());
}

void MessageDesk::Delivered(const QString &peer, const QByteArray &text)
{
    if (!Record(int(HistoryStore::Direction::Sent), peer, Enciphered(), text))
        emit StatusChanged(tr("History not written: ") + m_recorder.errorString());
}

void MessageDesk::OpenHistory()
{
    if (!m_history) {
        const QString damageWas = m_recorder.Damage();
        HistoryStore *store = m_recorder.OpenStore();
        if (m_recorder.Damage() != damageWas)
            TellOfDamage();
        if (!store) {
            emit StatusChanged(tr("The history cannot be opened: %1").arg(m_recorder.Path()));
            return;
        }
        m_history = new frmHistory(*store, m_window);
        m_history->setAttribute(Qt::WA_DeleteOnClose);
        PlaceOverOwner(*m_history);
        connect(m_history, &frmHistory::PutOnBoard, this, &MessageDesk::PutOnBoard);
        connect(m_history, &frmHistory::SendAgain, this,
                [this](const QString &address, const QByteArray &message) { Send(address, message); });
        m_history->ShowNotice(m_recorder.Damage());
    }
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
}

void MessageDesk::PutOnBoard(const QByteArray &text)
{
    m_board->Receive(DecodeText(text));
}

bool MessageDesk::Send(const QString &address, const QByteArray &message, bool remember)
{
    CZaridoDovoClient *client = m_controller.Client();
    if (!client)
        return false;
    const Settings &settings = m_controller.AppSettings();
    TypedAddress typed;
    if (!typed.Parse(address, settings.Stored.ServerPort)) {
        emit StatusChanged(tr("Not sent: ") + typed.errorString());
        return false;
    }
    m_pending = Pending{address, message, Enciphered(), remember};
    client->SendMessage(typed.Host(), typed.Port(), message, settings.Security.CryptPassword,
                        settings.Stored.Cipher);
    return true;
}

frmHistory *MessageDesk::HistoryWindow() const
{
    return m_history;
}
