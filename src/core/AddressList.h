#pragma once

#include <QString>
#include <QStringList>

// The remembered destination addresses: a text file, one address per line, CR LF line ends.

// The file's lines, trimmed, without the empty ones, in file order (duplicates stay).
// A missing or unreadable file gives an empty list.
QStringList ReadAddressList(const QString &path);

// Replaces the file with the entries, one per line. The old file stays whole until the new
// one is complete, so a crash or a full disk cannot leave it empty or cut. False on failure.
bool WriteAddressList(const QString &path, const QStringList &entries);
