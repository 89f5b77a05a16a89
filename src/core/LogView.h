#pragma once

#include <QString>

// Where a CLog displays its lines. The log window gives it a text box, the command line
// standard error, tests memory. Lines are only ever added, one at a time, or all cleared.
class LogView
{
public:
    virtual ~LogView() = default;

    // Adds one line (its CR LF included) and scrolls it into view.
    virtual void Append(const QString &line) = 0;
    // The characters held, each line end counted as CR LF; a view that keeps nothing holds 0.
    virtual qsizetype Length() const = 0;
    virtual void Clear() = 0;
};
