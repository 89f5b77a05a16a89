#include "protocol/ReplayJournal.h"

#include "crypto/SealedFrame.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char NonceKind = 'N';
constexpr char FloorKind = 'F';      // a sender's floor
constexpr char EveryoneKind = 'E';   // everyone's floor
constexpr std::size_t RecordSize = 1 + SealedFrame::SaltSize + SealedFrame::NonceSize + 8;

std::string Encode(const ReplayGuard::Entry &entry)
{
    std::string record(RecordSize, '\0');
    record[0] = !entry.nonce.empty() ? NonceKind : entry.sender.empty() ? EveryoneKind : FloorKind;
    entry.sender.copy(record.data() + 1, SealedFrame::SaltSize);
    entry.nonce.copy(record.data() + 1 + SealedFrame::SaltSize, SealedFrame::NonceSize);
    const auto time = static_cast<std::uint64_t>(entry.time);
    for (int i = 0; i < 8; ++i)
        record[RecordSize - 1 - i] = static_cast<char>((time >> (8 * i)) & 0xff);
    return record;
}

bool Decode(const char *record, ReplayGuard::Entry &entry)
{
    const char kind = record[0];
    if (kind != NonceKind && kind != FloorKind && kind != EveryoneKind)
        return false;
    entry.sender = kind == EveryoneKind ? std::string() : std::string(record + 1, SealedFrame::SaltSize);
    entry.nonce = kind == NonceKind ? std::string(record + 1 + SealedFrame::SaltSize, SealedFrame::NonceSize)
                                    : std::string();
    std::uint64_t time = 0;
    for (std::size_t i = RecordSize - 8; i < RecordSize; ++i)
        time = (time << 8) | static_cast<unsigned char>(record[i]);
    entry.time = static_cast<std::int64_t>(time);
    return true;
}

bool WriteAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool SyncFolderOf(const QString &path)
{
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    const bool synced = ::fsync(folder) == 0;
    ::close(folder);
    return synced;
}

} // namespace

ReplayJournal::~ReplayJournal()
{
    Close();
}

bool ReplayJournal::Open(const QString &folder, int port, ReplayGuard &guard, std::int64_t now)
{
    Close();
    const QDir dir(folder);
    m_path = dir.filePath(QStringLiteral("replays-%1").arg(port));
    m_guard = &guard;
    guard.Clear();
    // Until the file is known good, nothing fresh gets through.
    guard.SetRecorder([this](const ReplayGuard::Entry &entry) { return Append(entry); });
    dir.mkpath(QStringLiteral("."));
    const QStringList names = dir.entryList({QStringLiteral("replays-*")}, QDir::Files);
    for (const QString &name : names) {
        if (name.endsWith(QStringLiteral(".new")))
            continue;
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return Fail(file.fileName() + QStringLiteral(": ") + file.errorString());
        const QByteArray bytes = file.readAll();
        // A record cut short by a crash was never let through: it is dropped.
        for (qsizetype at = 0; at + qsizetype(RecordSize) <= bytes.size(); at += qsizetype(RecordSize)) {
            ReplayGuard::Entry entry;
            if (Decode(bytes.constData() + at, entry))
                guard.Restore(entry, now);
        }
    }
    return Rewrite();
}

void ReplayJournal::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_guard)
        m_guard->SetRecorder({});
    m_guard = nullptr;
}

bool ReplayJournal::Append(const ReplayGuard::Entry &entry)
{
    if (m_fd < 0)
        return false;
    if (m_records >= 2 * m_guard->Capacity() && !Rewrite())
        return false;
    if (!WriteAll(m_fd, Encode(entry)) || ::fdatasync(m_fd) != 0)
        return Fail(QString::fromLocal8Bit(std::strerror(errno)));
    ++m_records;
    return true;
}

// The guard's memory into a new file that replaces the old one whole.
bool ReplayJournal::Rewrite()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    const QByteArray temporary = QFile::encodeName(m_path + QStringLiteral(".new"));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return Fail(QString::fromLocal8Bit(std::strerror(errno)));
    std::string bytes;
    const auto entries = m_guard->Entries();
    for (const ReplayGuard::Entry &entry : entries)
        bytes += Encode(entry);
    const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (!written || ::rename(temporary.constData(), QFile::encodeName(m_path).constData()) != 0
        || !SyncFolderOf(m_path)) {
        const QString error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        ::unlink(temporary.constData());
        return Fail(error);
    }
    m_fd = fd;
    m_records = entries.size();
    // Appends go to the end of the file now in place.
    ::lseek(m_fd, 0, SEEK_END);
    return true;
}

bool ReplayJournal::Fail(const QString &what)
{
    m_error = QStringLiteral("the replay memory %1 cannot be kept: %2").arg(m_path, what);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return false;
}
