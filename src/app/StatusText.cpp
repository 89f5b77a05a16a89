#include "app/StatusText.h"

#include "core/CLog.h"

#include <QFontMetrics>
#include <QLocale>

namespace {

const QString Ellipsis = QStringLiteral("...");

// A prefix of n UTF-16 units, shortened by one when it would split a surrogate pair.
QString Prefix(const QString &text, qsizetype n)
{
    if (n > 0 && n < text.size() && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

} // namespace

QString StatusText(const QDateTime &now, const QString &msg)
{
    return QLatin1Char(' ') + CLog::FormatTimeStamp(now, QStringLiteral("hh:mm:ss ampm")) + QStringLiteral(": ") + msg;
}

QString FitText(const QString &text, const QFontMetrics &metrics, int width)
{
    if (text.size() <= 1 || metrics.horizontalAdvance(text) <= width)
        return text;

    // Widths grow with the prefix, so the longest fitting prefix is found by bisection.
    qsizetype fits = 1; // shown even when it does not fit
    qsizetype low = 2;
    qsizetype high = text.size() - 1;
    while (low <= high) {
        const qsizetype middle = low + (high - low) / 2;
        if (metrics.horizontalAdvance(Prefix(text, middle) + Ellipsis) <= width) {
            fits = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return Prefix(text, fits) + Ellipsis;
}

bool ReadsAsNumberOrDate(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;

    const QLocale locale;
    bool number = false;
    locale.toDouble(trimmed, &number);
    if (number || (trimmed.toDouble(&number), number))
        return true;

    for (const QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        if (locale.toDateTime(trimmed, format).isValid() || locale.toDate(trimmed, format).isValid()
            || locale.toTime(trimmed, format).isValid())
            return true;
    }
    return QDateTime::fromString(trimmed, Qt::ISODate).isValid() || QDate::fromString(trimmed, Qt::ISODate).isValid()
        || QTime::fromString(trimmed, Qt::ISODate).isValid();
}
