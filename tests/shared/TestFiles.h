#pragma once

// Files as tests need them: read, written, damaged, too large to write, locked by another program.
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <csignal>
#include <sys/resource.h>

namespace TestFiles {

inline QByteArray Read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Written whole, in the folders it needs.
inline bool Write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes) == bytes.size();
}

// Overwrites the file with bytes no program wrote.
inline bool Corrupt(const QString &path) { return Write(path, QByteArray(4096, '\x5a')); }

// While alive, no file of this process grows past `bytes`: a write beyond fails with "File too
// large" (SIGXFSZ ignored) instead of killing the process. The old limit comes back at the end.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit small{bytes, m_saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    void (*m_handler)(int);
    rlimit m_saved{};
};

// Another program's exclusive lock on an SQLite file while Locked() is true.
class SqliteLock
{
public:
    explicit SqliteLock(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Name);
        db.setDatabaseName(path);
        m_locked = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~SqliteLock()
    {
        QSqlDatabase::database(Name).close();
        QSqlDatabase::removeDatabase(Name);
    }
    SqliteLock(const SqliteLock &) = delete;
    SqliteLock &operator=(const SqliteLock &) = delete;
    bool Locked() const { return m_locked; }
    bool Release()
    {
        m_locked = !QSqlQuery(QSqlDatabase::database(Name)).exec(QStringLiteral("ROLLBACK"));
        return !m_locked;
    }
    bool Take()
    {
        m_locked = QSqlQuery(QSqlDatabase::database(Name)).exec(QStringLiteral("BEGIN EXCLUSIVE"));
        return m_locked;
    }

private:
    static inline const QString Name = QStringLiteral("another program");
    bool m_locked = false;
};

} // namespace TestFiles
