#pragma once

#include <QRect>

class QWidget;

namespace ostrel::ui {

// Window and control rectangles are laid out in twips (1/1440 inch) and converted by the screen's logical
// resolution, so the windows keep their proportions at any DPI.
int twips(int value);
// Places a control within its parent's client area, or a window's client area on the screen, at a
// rectangle given in twips (left, top, width, height).
void placeTwips(QWidget* widget, const QRect& inTwips);
// The windows' rectangles were drawn for an 8-point interface font; the desktop's larger default would clip
// the captions of the fixed-size buttons and labels.
void useLayoutFont(QWidget* window);

}  // namespace ostrel::ui
