#pragma once

#include <QByteArray>

// Received text made safe to show on a terminal: control characters other than newline and
// tab, the C1 controls in their UTF-8 form, and bytes that are not valid UTF-8 are written as
// \xHH, so that a message cannot move the cursor, retitle the terminal or set its clipboard.
// Everything else passes unchanged.
QByteArray EscapeControls(const QByteArray &bytes);
