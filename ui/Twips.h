#pragma once

#include <QRect>

class QWidget;

namespace ostrel::ui {

// Window and control rectangles are laid out in twips (1/1440 inch) and converted by the screen's logical
// resolution, so the windows keep their proportions at any DPI.
int twips(int value);
QRect twipsRect(int left, int top, int width, int height);
// Places a control at a rectangle given in twips within its parent's client area.
void placeTwips(QWidget* widget, int left, int top, int width, int height);
// Sizes a window's client area in twips and, when a position is given, places it there on the screen.
void sizeWindowTwips(QWidget* window, int width, int height);
void placeWindowTwips(QWidget* window, int left, int top, int width, int height);
// The windows' rectangles were drawn for an 8-point interface font; the desktop's larger default would clip
// the captions of the fixed-size buttons and labels.
void useLayoutFont(QWidget* window);

}  // namespace ostrel::ui
