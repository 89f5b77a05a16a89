#pragma once

#include <QIcon>

// The program's icon (a drop), at 16, 32 and 48 pixels, from the program's resources.
QIcon AppIcon();
