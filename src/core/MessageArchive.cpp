#include "core/MessageArchive.h"

#include "core/FolderPath.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor when it goes out of scope.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// 0 on success, otherwise the system's error number (a full disk, a file size limit), as
// LinkUnder below.
int WriteAndSync(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += n;
    }
    // A temporary file is private; a saved message is readable as any file the user makes.
    ::fchmod(fd, 0666 & ~static_cast<mode_t>(MessageArchive::CreationMask()));
    if (::fsync(fd) != 0)
        return errno;
    return 0;
}

// A new private file in the folder under a random hidden name. Never through a link: the name
// must not exist in any form.
int CreateTemporary(int folder, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".textdrop-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
        const int fd = ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the finished file a second name that did not exist in any form (a dangling link
// counts as existing); the name is never followed. A file system without hard links takes
// a rename that refuses an existing name instead. Never a copy.
int LinkUnder(int folder, const QByteArray &from, const QByteArray &to)
{
    if (::linkat(folder, from.constData(), folder, to.constData(), 0) == 0)
        return 0;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    if (::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    return errno;
}

} // namespace

MessageArchive::MessageArchive(const QString &folder)
    : m_folder(FolderPath(folder))
{
}

QString MessageArchive::LogLine() const
{
    return m_errorString.isEmpty() ? m_savedPath + QStringLiteral(" logged.")
                                   : QStringLiteral("Error saving ") + m_savedPath + QStringLiteral(": ") + m_errorString;
}

unsigned MessageArchive::CreationMask()
{
    // The mask can only be read by setting it; done once, it is never changed again.
    static const unsigned mask = [] {
        const mode_t old = ::umask(0077);
        ::umask(old);
        return static_cast<unsigned>(old);
    }();
    return mask;
}

QString MessageArchive::FileName(const QDateTime &when, int count)
{
    return when.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + QString::number(count) + QStringLiteral(".txt");
}

bool MessageArchive::CheckWritable()
{
    Descriptor folder{::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    QByteArray name;
    Descriptor file{folder.fd < 0 ? -1 : CreateTemporary(folder.fd, name)};
    if (file.fd < 0) {
        m_errorString = qt_error_string(errno);
        return false;
    }
    ::unlinkat(folder.fd, name.constData(), 0);
    m_errorString.clear();
    return true;
}

bool MessageArchive::Save(const QByteArray &message, int &savedCount, const QDateTime &now)
{
    // Written in full under a name of its own first, so that no final name ever holds part of
    // a message; removed again whatever fails. Everything happens relative to the folder
    // opened once, so nothing is written outside it.
    Descriptor folder{::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    QByteArray part;
    Descriptor file{folder.fd < 0 ? -1 : CreateTemporary(folder.fd, part)};
    const int written = file.fd < 0 ? errno : WriteAndSync(file.fd, message + QByteArrayLiteral("\r\n"));
    QString failure = written == 0 ? QString() : qt_error_string(written);
    for (;;) {
        ++savedCount;
        const QString name = FileName(now, savedCount);
        m_savedPath = m_folder + name;
        if (failure.isEmpty()) {
            const int error = LinkUnder(folder.fd, part, QFile::encodeName(name));
            if (error == EEXIST)
                continue; // taken, perhaps by a link planted there: the next number
            if (error != 0)
                failure = qt_error_string(error);
        }
        if (file.fd >= 0)
            ::unlinkat(folder.fd, part.constData(), 0); // gone already after a rename
        // The new name is on disk only once the folder is.
        if (failure.isEmpty() && ::fsync(folder.fd) != 0)
            failure = qt_error_string(errno);
        m_errorString = failure;
        return failure.isEmpty();
    }
}
