#pragma once

#include <QString>

// Where a CLog displays its lines. The log window gives it a text box; tests give it memory.
class LogView
{
public:
    virtual ~LogView() = default;

    virtual QString Text() const = 0;
    virtual void SetText(const QString &text) = 0;
    // Scrolls the newest line into view.
    virtual void MoveCaretToEnd() = 0;
};
