#include "core/CLog.h"

#include "core/LogView.h"

#include <QFile>

namespace {

const QString LineEnd = QStringLiteral("\r\n");
const QString Separator = QStringLiteral(": ");
const QString PurgeNotice = QStringLiteral("Log Purged");

// The first punctuation in one of the locale's own patterns is its separator.
QChar SeparatorIn(const QString &localePattern, QChar fallback)
{
    for (const QChar c : localePattern) {
        if (!c.isLetterOrNumber() && !c.isSpace() && c != u'\'')
            return c;
    }
    return fallback;
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

void CLog::AttachTextBox(LogView *view)
{
    m_view = view;
}

void CLog::AttachFile(const QString &file)
{
    m_logFile = file;
}

bool CLog::Clear(bool purgeLogFile)
{
    if (m_view)
        m_view->Clear();
    if (purgeLogFile && !m_logFile.isEmpty())
        return QFile::remove(m_logFile);
    return true;
}

void CLog::Start(const std::optional<QString> &dateFilter, LogView *txtBox, const std::optional<QString> &logFile)
{
    if (txtBox)
        m_view = txtBox;
    if (dateFilter)
        m_dateFormat = dateFilter->isEmpty() ? DefaultDateFormat : *dateFilter;
    m_logFile = logFile.value_or(QString());
}

bool CLog::Log(const QString &message)
{
    if (!m_view && m_logFile.isEmpty())
        return true; // nowhere to write: not worth formatting a time stamp
    const QString prefix = m_dateFormat.isEmpty() ? QString() : FormatTimeStamp(LocalNow(), m_dateFormat) + Separator;
    const QString line = prefix + message + LineEnd;

    if (m_view) {
        // Checked before the new line goes in, so the text may pass the limit by one line.
        if (m_view->Length() > TextBoxLimit) {
            m_view->Clear();
            m_view->Append(prefix + PurgeNotice + LineEnd);
        }
        m_view->Append(line);
    }

    if (m_logFile.isEmpty())
        return true;
    // Opened and closed for every line, so the file can be read or moved between lines;
    // unbuffered, so the line goes out in one write.
    QFile file(m_logFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = line.toUtf8();
    return file.write(bytes) == bytes.size();
}

QDateTime CLog::LocalNow()
{
    // Asking for the local time makes the system look at its time zone file every time; the
    // offset from UTC is asked for once a minute instead, which still follows a clock change soon.
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 now = utc.toSecsSinceEpoch();
    if (!m_offsetCheckedAt || now < *m_offsetCheckedAt || now - *m_offsetCheckedAt >= 60) {
        m_offsetFromUtc = QDateTime::currentDateTime().offsetFromUtc();
        m_offsetCheckedAt = now;
    }
    // Only its date and time are read: they are the local ones.
    return utc.addSecs(m_offsetFromUtc);
}

QString CLog::FormatTimeStamp(const QDateTime &when, const QString &pattern, const QLocale &locale)
{
    const QDate date = when.date();
    const QTime time = when.time();
    const bool twelveHour = pattern.contains(QLatin1String("ampm"), Qt::CaseInsensitive);
    const QChar dateSeparator = SeparatorIn(locale.dateFormat(QLocale::ShortFormat), u'/');
    const QChar timeSeparator = SeparatorIn(locale.timeFormat(QLocale::ShortFormat), u':');

    QString out;
    bool afterHour = false;
    const auto at = [&](qsizetype pos, QLatin1String token) {
        return QStringView(pattern).mid(pos, token.size()).compare(token, Qt::CaseInsensitive) == 0;
    };
    for (qsizetype pos = 0; pos < pattern.size();) {
        if (at(pos, QLatin1String("ampm"))) {
            out += time.hour() < 12 ? locale.amText() : locale.pmText();
            pos += 4;
        } else if (at(pos, QLatin1String("yyyy"))) {
            out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
            pos += 4;
        } else if (at(pos, QLatin1String("mm"))) {
            out += TwoDigits(afterHour ? time.minute() : date.month());
            afterHour = false;
            pos += 2;
        } else if (at(pos, QLatin1String("dd"))) {
            out += TwoDigits(date.day());
            pos += 2;
        } else if (at(pos, QLatin1String("hh"))) {
            const int hour = twelveHour ? (time.hour() + 11) % 12 + 1 : time.hour();
            out += TwoDigits(hour);
            afterHour = true;
            pos += 2;
            continue;
        } else if (at(pos, QLatin1String("nn"))) {
            out += TwoDigits(time.minute());
            pos += 2;
        } else if (at(pos, QLatin1String("ss"))) {
            out += TwoDigits(time.second());
            pos += 2;
        } else {
            const QChar c = pattern.at(pos);
            out += c == u'/' ? dateSeparator : c == u':' ? timeSeparator : c;
            ++pos;
            continue; // a separator between hour and minutes keeps "mm" meaning minutes
        }
        afterHour = false;
    }
    return out;
}
