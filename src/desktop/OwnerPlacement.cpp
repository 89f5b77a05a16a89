#include "desktop/OwnerPlacement.h"

#include <QRect>
#include <QWidget>

void PlaceOverOwner(QWidget &window)
{
    const QWidget *owner = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible())
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(owner->frameGeometry().center());
    window.move(frame.topLeft());
}
