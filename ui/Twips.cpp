#include "ui/Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace ostrel::ui {

int twips(int value) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<int>(std::lround(value * dpi / 1440.0));
}

void placeTwips(QWidget* widget, const QRect& inTwips) {
    placeTwips(widget, inTwips, {}, {});
}

void placeTwips(QWidget* widget, const QRect& inTwips, QPoint shift, QSize growth) {
    widget->setGeometry(twips(inTwips.x()) + shift.x(), twips(inTwips.y()) + shift.y(),
                        twips(inTwips.width()) + growth.width(), twips(inTwips.height()) + growth.height());
}

QSize extraRoom(QSize clientArea, QSize drawnTwips) {
    return {std::max(0, clientArea.width() - twips(drawnTwips.width())),
            std::max(0, clientArea.height() - twips(drawnTwips.height()))};
}

void useLayoutFont(QWidget* window) {
    QFont font = window->font();
    font.setPointSizeF(8.0);
    window->setFont(font);
}

}  // namespace ostrel::ui
