#include "desktop/LinkAction.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

namespace {

void SetTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

void SetUnderline(QLabel *label, bool on)
{
    QFont font = label->font();
    font.setUnderline(on);
    label->setFont(font);
}

} // namespace

void LinkAction(QLabel *label, int action, QWidget *owner)
{
    Q_UNUSED(owner);
    if (!label)
        return;
    switch (action) {
    case HTMLLink::ShowAsLink:
        SetTextColor(label, HTMLLink::LinkColor);
        break;
    case HTMLLink::Follow:
        QDesktopServices::openUrl(QUrl(label->property(HTMLLink::TagProperty).toString()));
        SetTextColor(label, HTMLLink::FollowedColor);
        break;
    case HTMLLink::MouseLeft:
        SetUnderline(label, false);
        SetTextColor(label, HTMLLink::LinkColor);
        break;
    case HTMLLink::MouseOver:
        SetTextColor(label, HTMLLink::HoverColor);
        SetUnderline(label, true);
        break;
    default:
        break;
    }
}
