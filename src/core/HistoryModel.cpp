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
    m_entries = Shown(m_store.Page(m_filter, 0, PageSize));
    endResetModel();
}

void HistoryModel::Hide(qint64 id, bool hidden)
{
    if (hidden)
        m_hidden.insert(id);
    else
        m_hidden.remove(id);
    Reload();
}

QList<HistoryStore::Entry> HistoryModel::Shown(QList<HistoryStore::Entry> page)
{
    m_complete = page.size() < PageSize;
    if (!page.isEmpty())
        m_lastId = page.last().id;
    page.removeIf([this](const HistoryStore::Entry &entry) { return m_hidden.contains(entry.id); });
    return page;
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
    if (parent.isValid() || m_complete)
        return;
    const QList<HistoryStore::Entry> more = Shown(m_store.Page(m_filter, m_lastId, PageSize));
    if (more.isEmpty())
        return;
    beginInsertRows({}, int(m_entries.size()), int(m_entries.size() + more.size() - 1));
    m_entries += more;
    endInsertRows();
}
