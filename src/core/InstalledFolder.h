#pragma once

#include <QString>

// Whether folder is where installed programs live (the build's own install folder for programs,
// or one of the system's program folders), rather than a copy's own folder. Nothing may be
// written beside an installed program, even when the folder is writable (by root, say).
bool IsInstalledFolder(const QString &folder);
// The same with installFolder in place of the build's own install folder.
bool IsInstalledFolder(const QString &folder, const QString &installFolder);
