#pragma once

#include "core/LogView.h"

#include <unistd.h>

#include <cerrno>

// Sends log lines to standard error, each with a single write so that lines from several
// processes do not interleave and a busy receiver pays one system call per line. It keeps
// no text, so the log never needs to purge it.
class StderrLogView : public LogView
{
public:
    void Append(const QString &line) override
    {
        const QByteArray bytes = line.toLocal8Bit();
        const char *data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(STDERR_FILENO, data, static_cast<std::size_t>(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return; // nowhere to log to: the receiver goes on regardless
            data += written;
            left -= written;
        }
    }
    qsizetype Length() const override { return 0; }
    void Clear() override {}
};
