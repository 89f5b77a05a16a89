#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes. The old file stays whole until the new one is
// complete, so a crash or a full disk cannot leave it empty or cut. With directFallback, a
// file in a folder where no new file can be created is written in place instead.
// False on failure, with the reason in *error when given.
bool SaveWholeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr, bool directFallback = false);
