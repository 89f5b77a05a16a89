#include "windows/TextBoxLogView.h"

#include <QPlainTextEdit>
#include <QTextCursor>

TextBoxLogView::TextBoxLogView(QPlainTextEdit *box)
    : m_box(box)
{
}

QString TextBoxLogView::Text() const
{
    return m_box->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

void TextBoxLogView::SetText(const QString &text)
{
    m_box->setPlainText(text);
}

void TextBoxLogView::MoveCaretToEnd()
{
    m_box->moveCursor(QTextCursor::End);
    m_box->ensureCursorVisible();
}
