#pragma once

#include <QString>

// A folder's path in the platform's separators, ending with one, so that a file name can be
// appended directly. An empty path stays empty.
QString FolderPath(const QString &folder);
