#include "core/HistoryModel.h"

#include <QLocale>

HistoryModel::HistoryModel(HistoryStore &store, QObject *parent)
    : QAbstractTableModel(parent)
    , m_store(store)
{
    Reload();
}

void HistoryModel::SetFilter(const QByteArray &filter)
{
    m_filter = filter;
    Reload();
}

void HistoryModel::Reload()
{
    beginResetModel();
    m_entries = m_store.Page(m_filter, 0, PageSize);
    m_complete = m_entries.size() < PageSize;
    endResetModel();
}

const HistoryStore::Entry *HistoryModel::EntryAt(int row) const
{
    return row >= 0 && row < m_entries.size() ? &m_entries[row] : nullptr;
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    const HistoryStore::Entry *entry = EntryAt(index.row());
    if (!entry || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    switch (index.column()) {
    case TimeColumn:
        return QLocale().toString(entry->at.toLocalTime(), QLocale::ShortFormat);
    case DirectionColumn:
        switch (entry->direction) {
        case HistoryStore::Direction::Received:
            return entry->cipher.isEmpty() ? tr("received") : tr("received, enciphered");
        case HistoryStore::Direction::Sent:
            return entry->cipher.isEmpty() ? tr("sent") : tr("sent, enciphered");
        case HistoryStore::Direction::Draft:
            return tr("draft");
        }
        return {};
    case PeerColumn:
        return entry->peer;
    case TextColumn: {
        // One line of the start of the text; the whole text is read only when it is used.
        QString text = QString::fromUtf8(entry->text).simplified();
        return entry->text.size() >= HistoryStore::PreviewBytes ? text + QStringLiteral("\u2026") : text;
    }
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return tr("Time");
    case DirectionColumn:
        return tr("Direction");
    case PeerColumn:
        return tr("Address");
    case TextColumn:
        return tr("Text");
    default:
        return {};
    }
}

bool HistoryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_complete;
}

void HistoryModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || m_complete || m_entries.isEmpty())
        return;
    const QList<HistoryStore::Entry> more = m_store.Page(m_filter, m_entries.last().id, PageSize);
    m_complete = more.size() < PageSize;
    if (more.isEmpty())
        return;
    beginInsertRows({}, int(m_entries.size()), int(m_entries.size() + more.size() - 1));
    m_entries += more;
    endInsertRows();
}
