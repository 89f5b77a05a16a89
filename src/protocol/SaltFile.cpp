#include "protocol/SaltFile.h"

#include "crypto/PasswordKdf.h"
#include "crypto/SealedFrame.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

// Hexadecimal on one line, so that a damaged file is told from a good one.
std::optional<std::string> Read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray salt = QByteArray::fromHex(file.read(2 * SealedFrame::SaltSize + 2).trimmed());
    if (salt.size() != qsizetype(SealedFrame::SaltSize))
        return std::nullopt;
    return salt.toStdString();
}

} // namespace

std::string SaltFile::Load(const QString &path)
{
    if (std::optional<std::string> kept = Read(path))
        return *kept;
    const std::string salt = PasswordKdf::NewSalt();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QTemporaryFile written(path + QStringLiteral(".XXXXXX")); // for the owner only
    if (!written.open() || written.write(QByteArray::fromStdString(salt).toHex() + '\n') <= 0 || !written.flush())
        return salt;
    const QByteArray temporary = QFile::encodeName(written.fileName()), target = QFile::encodeName(path);
    // Linked under the name only if nobody took it first: the first sends of several runs at
    // once must agree on one salt, or the receiver sees each run as a new sender.
    if (::link(temporary.constData(), target.constData()) == 0)
        return salt;
    if (errno == EEXIST) {
        if (std::optional<std::string> theirs = Read(path))
            return *theirs;
    }
    // A damaged file, or a file system without hard links: this one replaces it.
    if (std::rename(temporary.constData(), target.constData()) == 0)
        written.setAutoRemove(false);
    return salt;
}
