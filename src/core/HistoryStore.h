#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class QSqlError;

// The messages sent, received and set aside as drafts, in an SQLite file through Qt SQL.
// Bounded by count, by age and by the size of the texts together; every failure is reported
// (false, with the database's reason in errorString()), never thrown, so a broken file costs
// the history and nothing else. The file and a folder made for it are the owner's alone.
class HistoryStore
{
public:
    enum class Direction { Received = 0, Sent = 1, Draft = 2 };

    struct Entry
    {
        qint64 id = 0;
        QDateTime at;
        Direction direction = Direction::Received;
        QString peer;
        QString cipher; // empty: plain
        QByteArray text; // a listing holds only the first PreviewBytes
    };

    struct Limits
    {
        static constexpr int DefaultCount = 10000;
        static constexpr int DefaultDays = 90;
        static constexpr qint64 DefaultBytes = 256 * 1024 * 1024;
        int count = DefaultCount; // at most this many messages
        int days = DefaultDays;   // none older than this
        qint64 bytes = DefaultBytes; // their texts together at most this long; the newest is kept
    };
    // Past this the write-ahead log is copied back within a write, and shrunk to it afterwards.
    static constexpr int WalLimitBytes = 4 * 1024 * 1024;

    static constexpr int PreviewBytes = 200;

    HistoryStore();
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // Opens (creating it and its folder) the file; false when it cannot be used.
    bool Open(const QString &path);
    // Why the last call that failed failed.
    QString errorString() const { return m_error; }
    // Whether the last Open or Record found the file damaged (not a database, cut short, or
    // overwritten), as opposed to locked or not writable.
    bool Damaged() const { return m_damaged; }
    // Closes the store and moves its file (and log) aside under path.damaged-<time>; the new
    // name, or empty when it could not be moved.
    QString SetAside();
    void Close();
    bool IsOpen() const;
    QString Path() const { return m_path; }

    void SetLimits(Limits limits) { m_limits = limits; }
    // now: tests move the clock; empty means the present time.
    void SetClock(QDateTime now) { m_now = std::move(now); }

    // Adds one message and drops what the limits no longer allow.
    bool Record(const Entry &entry);
    // Drops the messages beyond the count and older than the age limit.
    bool Prune();

    // Newest first: up to limit entries with an id below beforeId (0: from the newest) whose
    // text contains filter (ASCII letters without regard to case). Texts cut to PreviewBytes.
    // Empty, with errorString() set, when the history cannot be read.
    QList<Entry> Page(const QByteArray &filter, qint64 beforeId, int limit) const;
    // The whole text of one message; empty when it is gone.
    QByteArray Text(qint64 id) const;
    bool Remove(qint64 id);
    bool Clear();
    qint64 Count() const;
    // Copies the write-ahead log into the file and empties the log; writes do it only past
    // WalLimitBytes, so a receiver seldom waits for it. Call it when idle; closing does it too.
    // Not into a damaged file: that is only noted (Damaged()).
    bool Checkpoint();

private:
    // Keeps error as errorString(); whether there was none.
    bool Result(const QString &error) const;
    QString Connect(const QString &path);
    QString Exec(const QString &statement, const QVariantList &values = {});
    QDateTime Now() const;
    // The reason for error, noting whether it tells of a damaged file.
    QString Failed(const QSqlError &error);
    // Whether the file on disk still looks like the database that was opened.
    bool Intact() const;

    QString m_connection;
    QString m_path;
    Limits m_limits;
    QDateTime m_now;
    qint64 m_count = 0;
    bool m_damaged = false;
    mutable QString m_error;
};
