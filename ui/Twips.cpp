#include "ui/Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace ostrel::ui {

namespace {
qreal logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}
}  // namespace

int twips(int value) {
    return static_cast<int>(std::lround(value * logicalDpi() / 1440.0));
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

void placeTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsRect(left, top, width, height));
}

void sizeWindowTwips(QWidget* window, int width, int height) {
    window->resize(twips(width), twips(height));
}

void useLayoutFont(QWidget* window) {
    QFont font = window->font();
    font.setPointSizeF(8.0);
    window->setFont(font);
}

void placeWindowTwips(QWidget* window, int left, int top, int width, int height) {
    window->setGeometry(twipsRect(left, top, width, height));
}

}  // namespace ostrel::ui
