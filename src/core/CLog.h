#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

class LogView;

// An endpoint's log sink: time-stamped lines, each ended by CR LF, into a text view and,
// when a file is attached, appended to that file (opened and closed for every line).
// The view keeps itself short: past 10000 characters it is cut back to one "Log Purged" line.
class CLog
{
public:
    static inline const QString DefaultDateFormat = QStringLiteral("mm/dd/yyyy hh:nn:ss ampm");
    static constexpr qsizetype TextBoxLimit = 10000;

    // The view is not owned; it must outlive this log (the log window keeps its box for the run).
    void AttachTextBox(LogView *view);
    void AttachFile(const QString &file);

    // Empties the view; with purgeLogFile also deletes the log file. False when that delete failed.
    bool Clear(bool purgeLogFile = false);

    // An argument left out (nullopt / nullptr) keeps the present setting, except logFile:
    // left out, it turns file output off. An empty dateFilter selects the default time stamp.
    void Start(const std::optional<QString> &dateFilter = std::nullopt, LogView *txtBox = nullptr,
               const std::optional<QString> &logFile = std::nullopt);

    // Writes one line. False when the log file could not be written; the view has it all the same.
    bool Log(const QString &message);

    // The time stamp pattern language: mm dd yyyy hh nn ss ampm (any case), / and : as the
    // locale's separators; mm right after an hour token means minutes; anything else is copied.
    static QString FormatTimeStamp(const QDateTime &when, const QString &pattern, const QLocale &locale = QLocale());

private:
    QDateTime LocalNow();

    LogView *m_view = nullptr;
    QString m_logFile;
    QString m_dateFormat;
    std::optional<qint64> m_offsetCheckedAt; // seconds since the epoch
    int m_offsetFromUtc = 0;
};
