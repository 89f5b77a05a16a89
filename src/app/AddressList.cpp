#include "app/AddressList.h"

#include "app/TextBytes.h"

#include <QFile>
#include <QSaveFile>

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

bool WriteAddressList(const QString &path, const QStringList &entries, QString *error)
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    for (qsizetype i = 0; ok && i < entries.size(); ++i) {
        const QByteArray line = entries.at(i).toUtf8() + QByteArrayLiteral("\r\n");
        ok = file.write(line) == line.size();
    }
    // Flushed by hand: commit() alone takes a write that the disk cut short for success.
    if (ok && !file.flush()) {
        ok = false;
        if (error)
            *error = QStringLiteral("Could not write ") + path;
    }
    ok = ok && file.commit(); // without it the old file stays as it was
    if (!ok && error && error->isEmpty())
        *error = file.errorString();
    return ok;
}
