#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Saves received messages as files "YYYYMMDD-HHNNSS-<count>.txt" in one folder: exactly the
// bytes received, then CR LF. A file appears under its final name only once all of it is on
// disk. An existing file is never overwritten and a link at a final name is never followed:
// a taken name moves the count on to the next free one.
class MessageArchive
{
public:
    // A folder without a final separator is joined with one.
    explicit MessageArchive(const QString &folder);

    // savedCount numbers every attempt: it is raised before the file is opened, so a failed
    // save still uses up its number. False, with errorString(), when the message is not saved.
    bool Save(const QByteArray &message, int &savedCount, const QDateTime &now = QDateTime::currentDateTime());
    // The file the last Save wrote, or the last name it tried.
    QString SavedPath() const { return m_savedPath; }
    // The line the receiving side logs for the last Save.
    QString LogLine() const;

    static QString FileName(const QDateTime &when, int count);

    // The process's file creation mask, read once; call it at start, before other threads run.
    static unsigned CreationMask();

    // Whether a file can be created in the folder now; the reason in errorString() when not.
    bool CheckWritable();
    QString errorString() const { return m_errorString; }

private:
    QString m_folder;
    QString m_savedPath;
    QString m_errorString;
};
