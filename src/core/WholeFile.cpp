#include "core/WholeFile.h"

#include <QSaveFile>

WholeFile::WholeFile(QString path, bool directFallback)
    : m_path(std::move(path))
    , m_directFallback(directFallback)
{
}

bool WholeFile::Save(const QByteArray &bytes)
{
    QSaveFile file(m_path);
    file.setDirectWriteFallback(m_directFallback);
    m_error.clear();
    bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    // Flushed by hand: commit() alone takes a write that the disk cut short for success.
    if (ok && !file.flush()) {
        ok = false;
        m_error = QStringLiteral("Could not write ") + m_path;
    }
    ok = ok && file.commit();
    if (!ok) {
        if (m_error.isEmpty())
            m_error = file.errorString();
        file.cancelWriting();
    }
    return ok;
}
