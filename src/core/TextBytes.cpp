#include "core/TextBytes.h"

#include <QLocale>
#include <QStringDecoder>

QString DecodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder windows1252("windows-1252", QStringConverter::Flag::Stateless);
    if (!windows1252.isValid()) // a Qt built without ICU: Latin-1 still keeps every byte
        return QString::fromLatin1(bytes);
    return windows1252(bytes);
}

QByteArray EncodeBoardText(const QString &text)
{
    QString wire = text;
    wire.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    wire.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return wire.toUtf8();
}

qsizetype CharacterCount(const QString &text)
{
    qsizetype surrogatePairs = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && text.at(i + 1).isLowSurrogate()) {
            ++surrogatePairs;
            ++i;
        }
    }
    return text.size() - surrogatePairs;
}

QString FormatCount(qsizetype count)
{
    return QLocale().toString(static_cast<qlonglong>(count));
}
