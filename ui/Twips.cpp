#include "ui/Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <utility>

namespace ostrel::ui {

namespace {

QRect inPixels(const QRect& inTwips) {
    return {twips(inTwips.x()), twips(inTwips.y()), twips(inTwips.width()), twips(inTwips.height())};
}

// The start and length along one axis of a control anchored at its near edge, its far edge, or both.
std::pair<int, int> follow(int start, int length, int extra, bool nearEdge, bool farEdge) {
    if (!farEdge) return {start, length};
    if (!nearEdge) return {start + extra, length};
    return {start, length + extra};
}

}  // namespace

int twips(int value) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<int>(std::lround(value * dpi / 1440.0));
}

void placeTwips(QWidget* widget, const QRect& inTwips) {
    widget->setGeometry(inPixels(inTwips));
}

void useLayoutFont(QWidget* window) {
    QFont font = window->font();
    font.setPointSizeF(8.0);
    window->setFont(font);
}

QRect anchoredRect(const QRect& drawn, int anchors, QSize extra) {
    const auto [x, width] =
        follow(drawn.x(), drawn.width(), extra.width(), anchors & kLeft, anchors & kRight);
    const auto [y, height] =
        follow(drawn.y(), drawn.height(), extra.height(), anchors & kTop, anchors & kBottom);
    return {x, y, width, height};
}

AnchoredLayout::AnchoredLayout(QSize drawnTwips, Smaller smaller)
    : drawnTwips_(drawnTwips), smaller_(smaller) {}

void AnchoredLayout::add(QWidget* control, const QRect& inTwips, int anchors) {
    placed_.push_back({control, inTwips, anchors});
}

void AnchoredLayout::arrange(const QRect& clientArea) const {
    QSize extra = clientArea.size() - QSize(twips(drawnTwips_.width()), twips(drawnTwips_.height()));
    if (smaller_ == Smaller::KeepsDrawn) extra = extra.expandedTo(QSize(0, 0));
    for (const Placed& placed : placed_) {
        placed.control->setGeometry(
            anchoredRect(inPixels(placed.inTwips), placed.anchors, extra).translated(clientArea.topLeft()));
    }
}

QSize AnchoredLayout::wholeControls() const {
    QRect drawn;
    for (const Placed& placed : placed_) drawn |= placed.inTwips;
    return {twips(drawn.x() + drawn.right() + 1), twips(drawn.y() + drawn.bottom() + 1)};
}

}  // namespace ostrel::ui
