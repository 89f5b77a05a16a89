#include "core/SaveWholeFile.h"

#include <QSaveFile>

bool SaveWholeFile(const QString &path, const QByteArray &bytes, QString *error, bool directFallback)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(directFallback);
    bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    // Flushed by hand: commit() alone takes a write that the disk cut short for success.
    if (ok && !file.flush()) {
        ok = false;
        if (error)
            *error = QStringLiteral("Could not write ") + path;
    }
    ok = ok && file.commit();
    if (!ok) {
        if (error && error->isEmpty())
            *error = file.errorString();
        file.cancelWriting();
    }
    return ok;
}
