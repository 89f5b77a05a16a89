#include "support/HistoryStore.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace {

QAtomicInteger<quint64> connectionCount;

// LIKE's own wildcards and the escape itself, taken literally.
QByteArray LikePattern(const QByteArray &filter)
{
    QByteArray pattern = "%";
    for (const char c : filter) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern + '%';
}

// Qt binds a null string as SQL NULL; the columns hold empty texts instead.
QString NotNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QByteArray NotNull(const QByteArray &bytes)
{
    return bytes.isNull() ? QByteArray("") : bytes;
}

QString Reason(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

} // namespace

HistoryStore::HistoryStore()
    : m_connection(QStringLiteral("history-%1").arg(connectionCount.fetchAndAddRelaxed(1)))
{
}

HistoryStore::~HistoryStore()
{
    Close();
}

QString HistoryStore::Open(const QString &path)
{
    Close();
    QString error = Connect(path);
    if (!error.isEmpty()) {
        Close();
        return error;
    }
    m_path = path;
    return Prune();
}

QString HistoryStore::Connect(const QString &path)
{
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath()))
        return QStringLiteral("cannot create the folder %1").arg(file.absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    // A file another program holds locked fails at once instead of freezing the window.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    if (!db.open())
        return Reason(db.lastError());
    // WAL: a write appends to the log instead of rewriting pages, and readers are not blocked.
    // The log is copied back by Checkpoint, when the owner has time, not inside a write. A
    // search reads the whole table: mapped and cached, it is not copied page by page each time.
    for (const char *statement :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", "PRAGMA wal_autocheckpoint=0",
          "PRAGMA mmap_size=268435456", "PRAGMA cache_size=-32768",
          "CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY AUTOINCREMENT, at INTEGER NOT NULL,"
          " direction INTEGER NOT NULL, peer TEXT NOT NULL, cipher TEXT NOT NULL, body BLOB NOT NULL)",
          "CREATE INDEX IF NOT EXISTS messages_at ON messages(at)"}) {
        if (QString error = Exec(QLatin1String(statement)); !error.isEmpty())
            return error;
    }
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM messages")) || !count.next())
        return Reason(count.lastError());
    m_count = count.value(0).toLongLong();
    return {};
}

void HistoryStore::Close()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_path.clear();
    m_count = 0;
}

bool HistoryStore::IsOpen() const
{
    return QSqlDatabase::contains(m_connection) && QSqlDatabase::database(m_connection, false).isOpen();
}

QDateTime HistoryStore::Now() const
{
    return m_now.isValid() ? m_now : QDateTime::currentDateTimeUtc();
}

QString HistoryStore::Exec(const QString &statement, const QVariantList &values)
{
    if (!IsOpen())
        return QStringLiteral("the history is not open");
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.prepare(statement))
        return Reason(query.lastError());
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return Reason(query.lastError());
    return {};
}

QString HistoryStore::Record(const Entry &entry)
{
    const QDateTime at = entry.at.isValid() ? entry.at : Now();
    QString error = Exec(QStringLiteral("INSERT INTO messages(at, direction, peer, cipher, body) VALUES(?, ?, ?, ?, ?)"),
                         {at.toMSecsSinceEpoch(), int(entry.direction), NotNull(entry.peer), NotNull(entry.cipher),
                          NotNull(entry.text)});
    if (!error.isEmpty())
        return error;
    ++m_count;
    return Prune();
}

QString HistoryStore::Prune()
{
    const qint64 cutoff = Now().addDays(-qMax(0, m_limits.days)).toMSecsSinceEpoch();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery old(db);
    old.prepare(QStringLiteral("DELETE FROM messages WHERE at < ?"));
    old.addBindValue(cutoff);
    if (!old.exec())
        return Reason(old.lastError());
    m_count -= old.numRowsAffected();
    const qint64 excess = m_count - qMax(0, m_limits.count);
    if (excess > 0) {
        QSqlQuery oldest(db);
        oldest.prepare(QStringLiteral("DELETE FROM messages WHERE id IN (SELECT id FROM messages ORDER BY id LIMIT ?)"));
        oldest.addBindValue(excess);
        if (!oldest.exec())
            return Reason(oldest.lastError());
        m_count -= oldest.numRowsAffected();
    }
    return {};
}

QList<HistoryStore::Entry> HistoryStore::Page(const QByteArray &filter, qint64 beforeId, int limit, QString *error) const
{
    QList<Entry> entries;
    if (!IsOpen()) {
        if (error)
            *error = QStringLiteral("the history is not open");
        return entries;
    }
    // Newest first by id, which the table's own key orders: a page costs its rows, not the table.
    QString statement = QStringLiteral("SELECT id, at, direction, peer, cipher, substr(body, 1, %1) FROM messages"
                                       " WHERE id < ?")
                            .arg(PreviewBytes);
    if (!filter.isEmpty())
        statement += QStringLiteral(" AND CAST(body AS TEXT) LIKE ? ESCAPE '\\'");
    statement += QStringLiteral(" ORDER BY id DESC LIMIT ?");
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(statement);
    query.addBindValue(beforeId > 0 ? beforeId : std::numeric_limits<qint64>::max());
    if (!filter.isEmpty())
        query.addBindValue(QString::fromUtf8(LikePattern(filter)));
    query.addBindValue(limit);
    if (!query.exec()) {
        if (error)
            *error = Reason(query.lastError());
        return entries;
    }
    while (query.next()) {
        Entry entry;
        entry.id = query.value(0).toLongLong();
        entry.at = QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong());
        entry.direction = Direction(query.value(2).toInt());
        entry.peer = query.value(3).toString();
        entry.cipher = query.value(4).toString();
        entry.text = query.value(5).toByteArray();
        entries.append(entry);
    }
    return entries;
}

QByteArray HistoryStore::Text(qint64 id) const
{
    if (!IsOpen())
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT body FROM messages WHERE id = ?"));
    query.addBindValue(id);
    if (query.exec() && query.next())
        return query.value(0).toByteArray();
    return {};
}

QString HistoryStore::Remove(qint64 id)
{
    QString error = Exec(QStringLiteral("DELETE FROM messages WHERE id = ?"), {id});
    if (error.isEmpty())
        m_count = Count();
    return error;
}

QString HistoryStore::Clear()
{
    QString error = Exec(QStringLiteral("DELETE FROM messages"));
    if (error.isEmpty())
        m_count = 0;
    return error;
}

QString HistoryStore::Checkpoint()
{
    return Exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
}

qint64 HistoryStore::Count() const
{
    if (!IsOpen())
        return 0;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (query.exec(QStringLiteral("SELECT COUNT(*) FROM messages")) && query.next())
        return query.value(0).toLongLong();
    return 0;
}
