#include "ui/Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace ostrel::ui {

int twips(int value) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<int>(std::lround(value * dpi / 1440.0));
}

void placeTwips(QWidget* widget, const QRect& inTwips) {
    widget->setGeometry(twips(inTwips.x()), twips(inTwips.y()), twips(inTwips.width()),
                        twips(inTwips.height()));
}

void useLayoutFont(QWidget* window) {
    QFont font = window->font();
    font.setPointSizeF(8.0);
    window->setFont(font);
}

}  // namespace ostrel::ui
