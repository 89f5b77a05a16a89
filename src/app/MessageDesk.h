#pragma once

#include "core/HistoryRecorder.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <optional>

class AddressBox;
class AppController;
class AppTray;
class ArrivalNotice;
class Board;
class frmHistory;
class QWidget;

// What happens around a message besides the wire: a received text goes on the board (the
// user's unsent text kept as an undoable draft, a destination the user typed kept in the
// address box), into the history and, when asked for, onto the clipboard, and the user is
// told when the window is out of sight; a sent text goes into the history once it arrived.
class MessageDesk : public QObject
{
    Q_OBJECT

public:
    static inline const QString EncipheredMark = QStringLiteral("secure");
    // Recent writes are copied into the history file this long after the first of them.
    static constexpr int CheckpointDelayMilliseconds = 5000;

    // historyFile: empty for history.sqlite in the user's data folder.
    MessageDesk(AppController &controller, Board *board, AddressBox *addresses, AppTray *tray, QWidget *window,
                const QDBusConnection &bus, const QString &historyFile = {});
    ~MessageDesk() override;

    static QString DefaultHistoryFile();
    // Tests shorten the wait before the recent writes are copied into the history file.
    void SetCheckpointDelay(int milliseconds) { m_checkpoint.setInterval(milliseconds); }
    QString HistoryFile() const { return m_recorder.Path(); }

    void Receive(const QByteArray &message, const QString &from);
    // A message on the message port, while its connection waits for the reply: a blocked
    // sender is answered "BAD"; while new senders are asked about, one neither remembered nor
    // found on the network is kept aside (in the history, with a notification) until the user
    // shows it; any other is received.
    void Admit(const QByteArray &message, const QString &from);
    // A sender kept aside: remembered from now on, and its latest text put on the board.
    void ShowSender(const QString &sender);
    // Refused from now on, and whatever it sent that is kept aside let go.
    void BlockSender(const QString &sender);
    void Refused(const QString &description);
    // Sends with the present settings; recorded in the history when MessageSent follows.
    // remember: add the address to the remembered ones once the receiver said "OK".
    // False when nothing went out: the address cannot be read (the status says why).
    bool Send(const QString &address, const QByteArray &message, bool remember = true);
    void Sent();
    // A text some other way than the message port reached its peer: recorded as sent.
    void Delivered(const QString &peer, const QByteArray &text);
    // Opens (or brings forward) the history window.
    void OpenHistory();

    ArrivalNotice &Notice() const { return *m_notice; }
    frmHistory *HistoryWindow() const;

signals:
    void StatusChanged(const QString &text);
    void ShowRequested();

private:
    void ApplySettings();
    // False only for a failure worth telling (the first since a write succeeded): see m_recorder.errorString().
    bool Record(int direction, const QString &peer, bool enciphered, const QByteArray &text);
    void PutOnBoard(const QByteArray &text);
    bool Enciphered() const;
    // The history was found damaged and set aside: a notification and a line in its window.
    void TellOfDamage();

    AppController &m_controller;
    Board *m_board;
    AddressBox *m_addresses;
    QWidget *m_window;
    HistoryRecorder m_recorder;
    ArrivalNotice *m_notice;
    QPointer<frmHistory> m_history; // deleted with the desk, before the store it shows
    QTimer m_checkpoint;
    QString m_lastPeer;    // the last connection's address, to name a refused sender
    QString m_senderShown; // the address an arrival put in the box, not typed by the user
    QString m_draftError;  // why the last draft kept did not reach the history
    struct Pending
    {
        QString address;
        QByteArray text;
        bool enciphered = false;
        bool remember = false;
    };
    std::optional<Pending> m_pending;
    QList<std::pair<QString, QByteArray>> m_keptAside; // sender and text, oldest first
};
