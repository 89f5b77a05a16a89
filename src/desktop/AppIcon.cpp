#include "desktop/AppIcon.h"

// The resource lives in a static library, so it must be registered by hand before first use.
static void RegisterResources()
{
    Q_INIT_RESOURCE(textdrop);
}

QIcon AppIcon()
{
    static const bool registered = (RegisterResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/textdrop-%1.png").arg(size), QSize(size, size));
    return icon;
}
