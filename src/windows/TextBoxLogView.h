#pragma once

#include "core/LogView.h"

class QPlainTextEdit;

// Shows a log in a text box, one paragraph per line, appended without touching what is
// already there. The box holds no CR LF line ends; Length counts them as the log wrote them.
class TextBoxLogView : public LogView
{
public:
    // The box is not owned and must outlive the view.
    explicit TextBoxLogView(QPlainTextEdit *box);

    void Append(const QString &line) override;
    qsizetype Length() const override;
    void Clear() override;

private:
    QPlainTextEdit *m_box;
};
