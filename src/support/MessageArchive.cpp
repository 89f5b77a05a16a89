#include "support/MessageArchive.h"

#include "support/FolderPath.h"

#include <QFile>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Empty on success, otherwise the system's reason (a full disk, a file size limit).
QString WriteAndSync(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return qt_error_string(errno);
        done += n;
    }
    if (::fsync(fd) != 0)
        return qt_error_string(errno);
    // A temporary file is private; a saved message is readable as any file the user makes.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    return {};
}

} // namespace

MessageArchive::MessageArchive(const QString &folder)
    : m_folder(FolderPath(folder))
{
}

QString MessageArchive::Result::LogLine() const
{
    return Ok() ? path + QStringLiteral(" logged.") : QStringLiteral("Error saving ") + path + QStringLiteral(": ") + error;
}

QString MessageArchive::FileName(const QDateTime &when, int count)
{
    return when.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + QString::number(count) + QStringLiteral(".txt");
}

MessageArchive::Result MessageArchive::Save(const QByteArray &message, int &savedCount, const QDateTime &now) const
{
    Result result;
    // Written in full under a name of its own first, so that no final name ever holds part of
    // a message; removed again whatever fails.
    QTemporaryFile file(m_folder + QStringLiteral(".textdrop-XXXXXX.part"));
    QString failure;
    if (!file.open())
        failure = file.errorString();
    else
        failure = WriteAndSync(file.handle(), message + QByteArrayLiteral("\r\n"));
    for (;;) {
        ++savedCount;
        result.path = m_folder + FileName(now, savedCount);
        if (!failure.isEmpty()) {
            result.error = failure;
            return result;
        }
        // The rename refuses an existing name atomically; only then try the next count.
        QFile part(file.fileName());
        if (part.rename(result.path)) {
            file.setAutoRemove(false);
            return result;
        }
        if (!QFile::exists(result.path)) {
            result.error = part.errorString();
            return result;
        }
    }
}
