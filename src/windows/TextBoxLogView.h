#pragma once

#include "support/LogView.h"

class QPlainTextEdit;

// Shows a log in a text box. The box holds bare LF line ends; the log sees CR LF ones, so
// its length limit counts the characters it wrote.
class TextBoxLogView : public LogView
{
public:
    // The box is not owned and must outlive the view.
    explicit TextBoxLogView(QPlainTextEdit *box);

    QString Text() const override;
    void SetText(const QString &text) override;
    void MoveCaretToEnd() override;

private:
    QPlainTextEdit *m_box;
};
