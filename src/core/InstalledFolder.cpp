#include "core/InstalledFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

bool IsInstalledFolder(const QString &folder)
{
    // Where `cmake --install` puts the programs in this build.
    return IsInstalledFolder(folder, QStringLiteral(TEXTDROP_INSTALL_BINDIR));
}

bool IsInstalledFolder(const QString &folder, const QString &installFolder)
{
    static const QStringList system = {
        QStringLiteral("/usr/bin"),
        QStringLiteral("/usr/local/bin"),
        QStringLiteral("/usr/sbin"),
        QStringLiteral("/usr/local/sbin"),
        QStringLiteral("/usr/games"),
        QStringLiteral("/usr/local/games"),
        QStringLiteral("/bin"),
        QStringLiteral("/sbin"),
    };
    // A user's own install (cmake --install --prefix ~/.local) is no portable copy either.
    const QString userPrograms = QDir::homePath() + QStringLiteral("/.local/bin");
    // Compared through links and spellings: on merged systems /bin is /usr/bin.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const QString &candidate : system + QStringList{userPrograms, installFolder}) {
        if (QFileInfo(candidate).canonicalFilePath() == canonical)
            return true;
    }
    return false;
}
