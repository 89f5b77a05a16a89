#pragma once

#include <QByteArray>
#include <QKeySequence>
#include <QList>
#include <QWidget>

#include <functional>

class HistoryModel;
class HistoryStore;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The history window: the messages newest first, a search that filters as the user types,
// and for the selected message Copy, Put on board, Send again (to its address or one typed)
// and Delete, plus Clear history. On the list, Enter and a double click put the message on
// the board, Ctrl+C copies its text and Delete deletes it; a deletion can be undone (Ctrl+Z)
// until the window closes, when the store loses the messages. Escape closes the window.
class frmHistory : public QWidget
{
    Q_OBJECT

public:
    // Asks before the whole history goes; tests answer without a message box.
    using Confirm = std::function<bool(QWidget *owner, const QString &question)>;

    // The store must outlive the window.
    frmHistory(HistoryStore &store, QWidget *parent = nullptr, Confirm confirm = {});
    ~frmHistory() override;

    // After messages were recorded: the list from the newest again, keeping the search.
    void Reload();
    HistoryModel &Model() const { return *m_model; }
    // A line above the list that stays until the window closes; empty hides it.
    void ShowNotice(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

signals:
    void PutOnBoard(const QByteArray &text);
    void SendAgain(const QString &address, const QByteArray &text);

private:
    QLayout *BuildButtons();
    // The whole text of the selected message; false when none is selected or it is gone.
    bool Selected(QByteArray &text, qint64 *id = nullptr) const;
    void OnSelectionChanged();
    void OnCopy();
    void OnPutOnBoard();
    void OnDelete();
    void OnUndoDelete();
    void OnClear();
    void RemoveDeleted();
    // Keyboard commands on the list, each also in its context menu.
    void AddListCommand(const QString &caption, const QList<QKeySequence> &keys, void (frmHistory::*handler)());
    // After the list was read again: the message selected before, or the row it held.
    void KeepSelection();

    HistoryStore &m_store;
    Confirm m_confirm;
    HistoryModel *m_model;
    QLabel *m_notice;
    QLineEdit *m_search;
    QTableView *m_table;
    QLineEdit *m_address;
    QList<QPushButton *> m_forSelection;
    QList<qint64> m_deleted; // hidden from the list; removed from the store when the window closes or goes
    qint64 m_selectedId = 0;
    int m_selectedRow = -1;
};
