#include "core/AddressList.h"

#include "core/TextBytes.h"

#include "core/WholeFile.h"

#include <QFile>

QStringList ReadAddressList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = DecodeText(file.readAll());

    QStringList entries;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        const QStringView address = line.trimmed(); // also drops the CR of a CR LF line end
        if (!address.isEmpty())
            entries.append(address.toString());
    }
    return entries;
}

bool WriteAddressList(const QString &path, const QStringList &entries)
{
    QByteArray bytes;
    for (const QString &entry : entries)
        bytes += entry.toUtf8() + QByteArrayLiteral("\r\n");
    return WholeFile(path).Save(bytes);
}
