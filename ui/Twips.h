#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace ostrel::ui {

// Window and control rectangles are laid out in twips (1/1440 inch) and converted by the screen's logical
// resolution, so the windows keep their proportions at any DPI.
int twips(int value);
// Places a control within its parent's client area, or a window's client area on the screen, at a
// rectangle given in twips (left, top, width, height).
void placeTwips(QWidget* widget, const QRect& inTwips);
// The same rectangle for a client area larger than the one it was drawn for: moved by shift and grown by
// growth (both in pixels), so that a control can follow its window's right or bottom edge.
void placeTwips(QWidget* widget, const QRect& inTwips, QPoint shift, QSize growth);
// How much larger a client area is than the twips size it was drawn for; never negative, so that a window
// made smaller than drawn keeps its controls where they were drawn.
QSize extraRoom(QSize clientArea, QSize drawnTwips);
// The windows' rectangles were drawn for an 8-point interface font; the desktop's larger default would clip
// the captions of the fixed-size buttons and labels.
void useLayoutFont(QWidget* window);

}  // namespace ostrel::ui
