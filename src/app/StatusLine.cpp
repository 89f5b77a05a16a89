#include "app/StatusLine.h"

#include "app/StatusText.h"

#include <algorithm>

namespace {
constexpr int StatusIndent = 2;
}

StatusLine::StatusLine(const QString &name, QWidget *parent)
    : QLabel(parent)
{
    setObjectName(name);
    setTextFormat(Qt::PlainText); // peers' words end up here: never read them as markup
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setIndent(StatusIndent);
}

void StatusLine::SetFullText(const QString &text)
{
    m_fullText = text;
    setToolTip(text);
    AutoSizeCaption();
}

void StatusLine::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    AutoSizeCaption();
}

void StatusLine::AutoSizeCaption()
{
    if (ReadsAsNumberOrDate(m_fullText))
        return;
    const int width = contentsRect().width() - 2 * margin() - std::max(indent(), 0);
    setText(FitText(m_fullText, fontMetrics(), width));
}
