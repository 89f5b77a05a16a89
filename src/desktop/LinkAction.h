#pragma once

#include <QColor>

class QLabel;
class QWidget;

// Makes a label behave as a hyperlink. The label's "Tag" property holds the target that
// following the link opens: a web address or a "mailto:" address.
namespace HTMLLink {

inline constexpr char TagProperty[] = "Tag";

enum Action : int {
    ShowAsLink = 1, // blue
    Follow = 2,     // open the tag, then purple
    MouseLeft = 3,  // underline off, blue
    MouseOver = 4,  // red, underline on
};

inline const QColor LinkColor{0, 0, 255};       // not yet followed
inline const QColor FollowedColor{128, 0, 128}; // followed
inline const QColor HoverColor{255, 0, 0};      // the mouse is over it

} // namespace HTMLLink

// Applies one of the actions above to the label; any other code changes nothing. The owner
// window is only for Follow and may be null: the desktop chooses where the target opens.
// Whether the target could be opened is not looked at.
void LinkAction(QLabel *label, int action, QWidget *owner = nullptr);
