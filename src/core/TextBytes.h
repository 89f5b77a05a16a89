#pragma once

#include <QByteArray>
#include <QString>

// Where the user's text meets the bytes of frames and files.

// Received bytes as text: UTF-8 when they are valid UTF-8, otherwise Windows-1252, the
// single-byte code page older peers write. A leading UTF-8 byte order mark is dropped.
QString DecodeText(const QByteArray &bytes);

// The board's text as it goes on the wire: UTF-8, each line ended by CR LF as every peer
// expects (the board itself holds bare LF line ends).
QByteArray EncodeBoardText(const QString &text);

// Characters as the user counts them: a character outside the basic plane counts once.
qsizetype CharacterCount(const QString &text);

// A count with the locale's digit grouping and no decimals, e.g. 1,204.
QString FormatCount(qsizetype count);
