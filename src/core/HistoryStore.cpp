#include "core/HistoryStore.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

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

QString DatabaseReason(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

// The folder and any missing parents, made for the owner alone; folders already there stay
// as they are.
bool MakeOwnFolder(const QString &folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).path();
    if (parent != folder && !MakeOwnFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 || errno == EEXIST;
}

// SQLite's codes for a file that is not a database, or no longer one.
bool TellsOfDamage(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 11 /* SQLITE_CORRUPT */ || code == 26 /* SQLITE_NOTADB */;
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

bool HistoryStore::Result(const QString &error) const
{
    if (!error.isEmpty())
        m_error = error;
    return error.isEmpty();
}

bool HistoryStore::Open(const QString &path)
{
    Close();
    m_path = path;
    m_damaged = false;
    QString error = Connect(path);
    if (error.isEmpty() && !Intact()) {
        m_damaged = true;
        error = QStringLiteral("the file is damaged");
    }
    if (error.isEmpty() && !Prune())
        error = m_error;
    if (!error.isEmpty())
        Close();
    return Result(error);
}

QString HistoryStore::Connect(const QString &path)
{
    const QFileInfo file(path);
    if (!MakeOwnFolder(file.absolutePath()))
        return QStringLiteral("cannot create the folder %1: %2").arg(file.absolutePath(), qt_error_string(errno));
    // Made before SQLite makes it, for the owner alone; its log files take the same mode.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return qt_error_string(errno);
    ::fchmod(fd, 0600);
    ::close(fd);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    // A file another program holds locked fails at once instead of freezing the window.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    if (!db.open())
        return Failed(db.lastError());
    // WAL: a write appends to the log instead of rewriting pages, and readers are not blocked.
    // The log is copied back by Checkpoint, when the owner has time, and inside a write only
    // once it has grown past its bound; each time it shrinks back to that bound. A search
    // reads the whole table: cached, it is not read from the file each time. Not mapped: a
    // file cut short under a mapping kills the program at the next read (SIGBUS).
    const QByteArray walPages = QByteArray::number(WalLimitBytes / 4096);
    const QByteArray walBytes = QByteArray::number(WalLimitBytes);
    const QByteArrayList statements{
        "PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", "PRAGMA wal_autocheckpoint=" + walPages,
        "PRAGMA journal_size_limit=" + walBytes, "PRAGMA mmap_size=0", "PRAGMA cache_size=-32768",
        "CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY AUTOINCREMENT, at INTEGER NOT NULL,"
        " direction INTEGER NOT NULL, peer TEXT NOT NULL, cipher TEXT NOT NULL, body BLOB NOT NULL)",
        "CREATE INDEX IF NOT EXISTS messages_at ON messages(at)",
        // The texts' size together, kept by the file itself: the size bound never reads the table.
        "CREATE TABLE IF NOT EXISTS totals(bytes INTEGER NOT NULL)",
        "INSERT INTO totals SELECT COALESCE(SUM(length(body)), 0) FROM messages"
        " WHERE NOT EXISTS (SELECT 1 FROM totals)",
        "CREATE TRIGGER IF NOT EXISTS totals_in AFTER INSERT ON messages"
        " BEGIN UPDATE totals SET bytes = bytes + length(NEW.body); END",
        "CREATE TRIGGER IF NOT EXISTS totals_out AFTER DELETE ON messages"
        " BEGIN UPDATE totals SET bytes = bytes - length(OLD.body); END"};
    for (const QByteArray &statement : statements) {
        if (QString error = Exec(QString::fromLatin1(statement)); !error.isEmpty())
            return error;
    }
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM messages")) || !count.next())
        return Failed(count.lastError());
    m_count = count.value(0).toLongLong();
    return {};
}

void HistoryStore::Close()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_count = 0;
}

QString HistoryStore::Failed(const QSqlError &error)
{
    m_damaged = m_damaged || TellsOfDamage(error);
    return DatabaseReason(error);
}

bool HistoryStore::Intact() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(100);
    if (head.size() < 100 || !head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return false;
    const auto number = [&head](int at) { return qFromBigEndian<quint32>(head.constData() + at); };
    const quint16 pageSize = qFromBigEndian<quint16>(head.constData() + 16);
    // The page count in the header holds when it was written with the change it belongs to.
    const qint64 pages = number(24) == number(92) ? number(28) : 0;
    return pages * (pageSize == 1 ? 65536 : pageSize) <= file.size();
}

QString HistoryStore::SetAside()
{
    Close();
    const QString aside =
        m_path + QStringLiteral(".damaged-") + Now().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const bool moved = QFile::rename(m_path, aside);
    // The log holds the latest writes: kept beside the file, under the name SQLite would give it.
    QFile::rename(m_path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    m_damaged = false;
    return moved ? aside : QString();
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
        return Failed(query.lastError());
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return Failed(query.lastError());
    return {};
}

bool HistoryStore::Record(const Entry &entry)
{
    // Cut short or overwritten under a running program, the file would take writes into its
    // log and lose them all at the next start.
    if (IsOpen() && !Intact()) {
        m_damaged = true;
        return Result(QStringLiteral("the file is damaged"));
    }
    const QDateTime at = entry.at.isValid() ? entry.at : Now();
    QString error = Exec(QStringLiteral("INSERT INTO messages(at, direction, peer, cipher, body) VALUES(?, ?, ?, ?, ?)"),
                         {at.toMSecsSinceEpoch(), int(entry.direction), NotNull(entry.peer), NotNull(entry.cipher),
                          NotNull(entry.text)});
    if (!error.isEmpty())
        return Result(error);
    ++m_count;
    return Prune();
}

bool HistoryStore::Prune()
{
    const qint64 cutoff = Now().addDays(-qMax(0, m_limits.days)).toMSecsSinceEpoch();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery old(db);
    old.prepare(QStringLiteral("DELETE FROM messages WHERE at < ?"));
    old.addBindValue(cutoff);
    if (!old.exec())
        return Result(Failed(old.lastError()));
    m_count -= old.numRowsAffected();
    const qint64 excess = m_count - qMax(0, m_limits.count);
    if (excess > 0) {
        QSqlQuery oldest(db);
        oldest.prepare(QStringLiteral("DELETE FROM messages WHERE id IN (SELECT id FROM messages ORDER BY id LIMIT ?)"));
        oldest.addBindValue(excess);
        if (!oldest.exec())
            return Result(Failed(oldest.lastError()));
        m_count -= oldest.numRowsAffected();
    }
    // Oldest first, until the texts fit; the newest stays whatever its size.
    QSqlQuery total(db);
    if (!total.exec(QStringLiteral("SELECT bytes FROM totals")) || !total.next())
        return Result(Failed(total.lastError()));
    qint64 over = total.value(0).toLongLong() - qMax<qint64>(0, m_limits.bytes);
    if (over > 0) {
        QSqlQuery oldest(db);
        oldest.setForwardOnly(true);
        if (!oldest.exec(QStringLiteral("SELECT id, length(body) FROM messages"
                                        " WHERE id < (SELECT MAX(id) FROM messages) ORDER BY id")))
            return Result(Failed(oldest.lastError()));
        qint64 last = 0;
        for (; over > 0 && oldest.next(); over -= oldest.value(1).toLongLong())
            last = oldest.value(0).toLongLong();
        oldest.finish();
        QSqlQuery drop(db);
        drop.prepare(QStringLiteral("DELETE FROM messages WHERE id <= ?"));
        drop.addBindValue(last);
        if (!drop.exec())
            return Result(Failed(drop.lastError()));
        m_count -= drop.numRowsAffected();
    }
    return true;
}

QList<HistoryStore::Entry> HistoryStore::Page(const QByteArray &filter, qint64 beforeId, int limit) const
{
    QList<Entry> entries;
    if (!IsOpen()) {
        Result(QStringLiteral("the history is not open"));
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
        Result(DatabaseReason(query.lastError()));
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

bool HistoryStore::Remove(qint64 id)
{
    if (!Result(Exec(QStringLiteral("DELETE FROM messages WHERE id = ?"), {id})))
        return false;
    m_count = Count();
    return true;
}

bool HistoryStore::Clear()
{
    if (!Result(Exec(QStringLiteral("DELETE FROM messages"))))
        return false;
    m_count = 0;
    return true;
}

bool HistoryStore::Checkpoint()
{
    // Copied into a file cut short, the log would make it look whole with pages missing.
    if (IsOpen() && !Intact()) {
        m_damaged = true;
        return Result(QStringLiteral("the file is damaged"));
    }
    return Result(Exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
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
