#include "protocol/SaltFile.h"

#include "crypto/PasswordKdf.h"
#include "crypto/SealedFrame.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

std::string SaltFile::Load(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        // Hexadecimal on one line, so that a damaged file is told from a good one.
        const QByteArray salt = QByteArray::fromHex(file.read(2 * SealedFrame::SaltSize + 2).trimmed());
        if (salt.size() == qsizetype(SealedFrame::SaltSize))
            return salt.toStdString();
    }
    const std::string salt = PasswordKdf::NewSalt();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile saved(path);
    if (saved.open(QIODevice::WriteOnly)) {
        saved.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        saved.write(QByteArray::fromStdString(salt).toHex() + '\n');
        saved.commit();
    }
    return salt;
}
