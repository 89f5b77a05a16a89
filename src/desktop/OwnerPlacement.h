#pragma once

class QWidget;

// Puts a secondary window over the window it belongs to, its frame centred on the owner's,
// rather than wherever the desktop would first put it. Nothing when the owner is out of sight.
void PlaceOverOwner(QWidget &window);
