#pragma once

#include "protocol/ReplayGuard.h"

#include <QString>

#include <cstddef>
#include <cstdint>

// Keeps a receiver's replay memory on disk, so that a sealed frame is delivered at most once
// across restarts and crashes: each fresh nonce is written and synced before its message is
// let through. A receiver records into "replays-<port>" of its folder and at start reads every
// such file there, so a move to another port does not make a frame seen before acceptable.
// A file holds fixed records (kind, 16-byte salt, 24-byte nonce, 8-byte
// big-endian time); it is rewritten with only what the guard remembers at each start and
// whenever it has grown to twice the guard's capacity. Created for the owner only.
class ReplayJournal
{
public:
    ReplayJournal() = default;
    ~ReplayJournal();
    ReplayJournal(const ReplayJournal &) = delete;
    ReplayJournal &operator=(const ReplayJournal &) = delete;

    // Fills the guard (cleared first) from the folder's files and makes the guard record into it.
    // False, with errorString(), when the file cannot be read or written: the guard then
    // refuses every fresh frame (Unrecorded), since it could not keep its promise.
    bool Open(const QString &folder, int port, ReplayGuard &guard, std::int64_t now);
    void Close();
    QString errorString() const { return m_error; }

private:
    bool Append(const ReplayGuard::Entry &entry);
    bool Rewrite();
    bool Fail(const QString &what);

    QString m_path;
    ReplayGuard *m_guard = nullptr;
    int m_fd = -1;
    std::size_t m_records = 0;
    QString m_error;
};
