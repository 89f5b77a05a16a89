#include "discovery/Announcement.h"

#include <QRandomGenerator>

QByteArray Announcement::NewId()
{
    const quint64 value = QRandomGenerator::system()->generate64();
    return QByteArray::number(value, 16).rightJustified(16, '0');
}

QList<QByteArray> Announcement::Txt() const
{
    return {"v=" + QByteArray::number(Version), "id=" + id, sealed ? QByteArray("sealed=1") : QByteArray("sealed=0")};
}

Announcement Announcement::FromTxt(const QList<QByteArray> &txt)
{
    Announcement found;
    for (const QByteArray &record : txt) {
        const qsizetype equals = record.indexOf('=');
        const QByteArray key = record.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : record.mid(equals + 1);
        if (key == "v") {
            found.version = value.left(4).toInt();
        } else if (key == "id" && value.size() == 16) {
            bool hex = false;
            value.toULongLong(&hex, 16);
            if (hex)
                found.id = value;
        } else if (key == "sealed") {
            found.sealed = value == "1";
        }
    }
    return found;
}

QString CleanServiceName(const QString &name)
{
    QString clean;
    for (const QChar c : name) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph || c.isNonCharacter())
            continue;
        clean += c;
    }
    // 63 characters hold at least 63 bytes: the loop below then runs a few times at most.
    clean = clean.trimmed().left(Announcement::MaxNameBytes);
    while (clean.toUtf8().size() > Announcement::MaxNameBytes) {
        clean.chop(1);
        if (!clean.isEmpty() && clean.back().isHighSurrogate())
            clean.chop(1);
    }
    return clean;
}
