#pragma once

#include <QByteArray>
#include <QString>

// What a receiver's refusal means, in words a user can act on; empty for a reply this
// program does not know. The window and textdrop-cli both show it after the word itself.
QString ReplyExplanation(const QByteArray &reply);
