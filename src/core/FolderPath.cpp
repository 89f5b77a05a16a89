#include "core/FolderPath.h"

#include <QDir>

QString FolderPath(const QString &folder)
{
    QString path = QDir::toNativeSeparators(folder);
    if (!path.isEmpty() && !path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path;
}
