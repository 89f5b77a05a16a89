#include "support/MessageArchive.h"

#include "support/FolderPath.h"

#include <QFile>
#include <QTemporaryFile>

#include <unistd.h>

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
    bool written = file.open();
    if (written) {
        const QByteArray bytes = message + QByteArrayLiteral("\r\n");
        written = file.write(bytes) == bytes.size() && file.flush() && ::fsync(file.handle()) == 0;
    }
    const QString failure = written ? QString() : file.errorString();
    for (;;) {
        ++savedCount;
        result.path = m_folder + FileName(now, savedCount);
        if (!written) {
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
