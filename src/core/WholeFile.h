#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file with new bytes. The old file stays whole until the new one is complete, so a
// crash or a full disk cannot leave it empty or cut. With directFallback, a file in a folder
// where no new file can be created is written in place instead.
class WholeFile
{
public:
    explicit WholeFile(QString path, bool directFallback = false);

    // False, with errorString(), when the file could not be replaced.
    bool Save(const QByteArray &bytes);
    QString errorString() const { return m_error; }

private:
    QString m_path;
    bool m_directFallback;
    QString m_error;
};
