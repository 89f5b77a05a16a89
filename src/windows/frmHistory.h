#pragma once

#include <QByteArray>
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
// and Delete, plus Clear history.
class frmHistory : public QWidget
{
    Q_OBJECT

public:
    // Asks before the whole history goes; tests answer without a message box.
    using Confirm = std::function<bool(QWidget *owner, const QString &question)>;

    // The store must outlive the window.
    frmHistory(HistoryStore &store, QWidget *parent = nullptr, Confirm confirm = {});

    // After messages were recorded: the list from the newest again, keeping the search.
    void Reload();
    HistoryModel &Model() const { return *m_model; }
    // A line above the list that stays until the window closes; empty hides it.
    void ShowNotice(const QString &text);

signals:
    void PutOnBoard(const QByteArray &text);
    void SendAgain(const QString &address, const QByteArray &text);

private:
    QLayout *BuildButtons();
    // The whole text of the selected message; false when none is selected or it is gone.
    bool Selected(QByteArray &text, qint64 *id = nullptr) const;
    void OnSelectionChanged();
    void OnCopy();
    void OnDelete();
    void OnClear();

    HistoryStore &m_store;
    Confirm m_confirm;
    HistoryModel *m_model;
    QLabel *m_notice;
    QLineEdit *m_search;
    QTableView *m_table;
    QLineEdit *m_address;
    QList<QPushButton *> m_forSelection;
};
