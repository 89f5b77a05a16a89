#pragma once

#include "core/HistoryStore.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QSet>

// The history newest first, read from the store a page at a time as the view scrolls, so
// opening or filtering costs one page however long the history is.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { TimeColumn, DirectionColumn, PeerColumn, TextColumn, ColumnCount };
    static constexpr int PageSize = 200;

    explicit HistoryModel(HistoryStore &store, QObject *parent = nullptr);

    // Shows only the messages containing filter; empty shows all.
    void SetFilter(const QByteArray &filter);
    // Reads the first page again, after messages were added or removed.
    void Reload();
    const HistoryStore::Entry *EntryAt(int row) const;
    // Leaves the message out of the list, or takes it back in; the store is not touched.
    void Hide(qint64 id, bool hidden);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    // A page as read, less the hidden messages; notes where the next page starts.
    QList<HistoryStore::Entry> Shown(QList<HistoryStore::Entry> page);

    HistoryStore &m_store;
    QByteArray m_filter;
    QList<HistoryStore::Entry> m_entries;
    bool m_complete = false;
    qint64 m_lastId = 0; // the oldest message read, shown or not
    QSet<qint64> m_hidden;
};
