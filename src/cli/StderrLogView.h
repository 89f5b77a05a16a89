#pragma once

#include "support/LogView.h"

#include <cstdio>

// Sends log lines to standard error. It keeps no text, so every SetText the log makes is
// exactly the newest line, and the log never needs to purge it.
class StderrLogView : public LogView
{
public:
    QString Text() const override { return {}; }
    void SetText(const QString &text) override
    {
        const QByteArray bytes = text.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
        std::fflush(stderr);
    }
    void MoveCaretToEnd() override {}
};
