#include "support/MessageArchive.h"

#include "support/FolderPath.h"

#include <QFile>

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
    for (;;) {
        ++savedCount;
        result.path = m_folder + FileName(now, savedCount);
        QFile file(result.path);
        // NewOnly refuses an existing name atomically; only then try the next count.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray bytes = message + QByteArrayLiteral("\r\n");
            if (file.write(bytes) != bytes.size() || !file.flush()) {
                result.error = file.errorString();
                file.close();
                file.remove(); // a cut file would pass for the message
            }
            return result;
        }
        if (!QFile::exists(result.path)) {
            result.error = file.errorString();
            return result;
        }
    }
}
