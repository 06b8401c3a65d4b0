#pragma once

#include <QRect>
#include <QSize>

#include <vector>

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

// The edges of its window's client area that a control keeps its distance to when the area is not the size
// it was drawn for: the left and top alone keep the drawn rectangle; both edges of a pair make the control
// grow with the area, the right or bottom edge alone makes it move.
enum Anchor { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kAllEdges = 15 };

// Where a control drawn at drawn (in pixels) goes in a client area extra larger than drawn (smaller where
// negative), by its anchors.
QRect anchoredRect(const QRect& drawn, int anchors, QSize extra);

// A window's controls at the rectangles they were drawn at (in twips, within a client area of the drawn
// size), placed by their anchors whenever the window's client area changes.
class AnchoredLayout {
public:
    // In a client area smaller than drawn, the controls keep their drawn rectangles (the window cuts them
    // off), or follow their edges in as they follow them out.
    enum class Smaller { KeepsDrawn, Follows };

    AnchoredLayout(QSize drawnTwips, Smaller smaller);
    void add(QWidget* control, const QRect& inTwips, int anchors = kLeft | kTop);
    // Places every control for the client area at this rectangle of its window, in pixels.
    void arrange(const QRect& clientArea) const;
    // The smallest client area that shows every control whole, with the margin the drawing leaves at the
    // left and top also at the right and bottom.
    QSize wholeControls() const;

private:
    struct Placed {
        QWidget* control;
        QRect inTwips;
        int anchors;
    };
    QSize drawnTwips_;
    Smaller smaller_;
    std::vector<Placed> placed_;
};

}  // namespace ostrel::ui
