#pragma once

#include <QDateTime>
#include <QString>

class QFontMetrics;

// The status line's full text: " " + the time on a 12-hour clock ("02:32:07 PM") + ": " + msg.
QString StatusText(const QDateTime &now, const QString &msg);

// text when it fits into width pixels in the font, otherwise its longest prefix followed by
// "..." that fits; when not even one character with "..." fits, that shortest form.
QString FitText(const QString &text, const QFontMetrics &metrics, int width);

// Whether the text, apart from surrounding spaces, is only a number or only a date or time.
bool ReadsAsNumberOrDate(const QString &text);
