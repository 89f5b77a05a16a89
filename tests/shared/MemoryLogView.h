#pragma once

#include "core/LogView.h"

// A log view that only remembers, for tests.
class MemoryLogView : public LogView
{
public:
    void Append(const QString &line) override { text += line; }
    qsizetype Length() const override { return text.size(); }
    void Clear() override { text.clear(); }

    QString text;
};
