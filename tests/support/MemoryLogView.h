#pragma once

#include "support/LogView.h"

// A log view that only remembers, for tests.
class MemoryLogView : public LogView
{
public:
    QString Text() const override { return text; }
    void SetText(const QString &value) override { text = value; }
    void MoveCaretToEnd() override { caretAtEnd = true; }

    QString text;
    bool caretAtEnd = false;
};
