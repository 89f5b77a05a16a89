#include "windows/TextBoxLogView.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

TextBoxLogView::TextBoxLogView(QPlainTextEdit *box)
    : m_box(box)
{
}

void TextBoxLogView::Append(const QString &line)
{
    // Each paragraph is a line: the CR LF the log ends it with is the paragraph break.
    QString paragraph = line;
    if (paragraph.endsWith(QLatin1String("\r\n")))
        paragraph.chop(2);
    m_box->appendPlainText(paragraph);
    m_box->moveCursor(QTextCursor::End);
    m_box->ensureCursorVisible();
}

qsizetype TextBoxLogView::Length() const
{
    const QTextDocument *document = m_box->document();
    if (document->isEmpty())
        return 0;
    // characterCount counts one separator per paragraph; each stands for a CR LF here.
    return document->characterCount() + document->blockCount();
}

void TextBoxLogView::Clear()
{
    m_box->clear();
}
