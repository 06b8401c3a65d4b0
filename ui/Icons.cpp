#include "ui/Icons.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

namespace ostrel::ui {

namespace {

constexpr int kSize = 32;

// Every picture is drawn on whole pixels; a whole multiple of its size keeps each pixel a sharp square.
QPixmap picture(const QString& name, int size = kSize) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer svg(QStringLiteral(":/pictures/%1.svg").arg(name));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    svg.render(&painter);
    painter.end();
    return QPixmap::fromImage(image);
}

QIcon icon(const QString& name) {
    QIcon result;
    result.addPixmap(picture(name));
    result.addPixmap(picture(name, 2 * kSize));
    return result;
}

}  // namespace

QIcon mainWindowIcon() {
    return icon(QStringLiteral("ostrel-webdav"));
}

QIcon editorIcon() {
    return icon(QStringLiteral("editor"));
}

QIcon viewerIcon() {
    return icon(QStringLiteral("viewer"));
}

QPixmap padlockClosedPicture() {
    return picture(QStringLiteral("padlock-closed"));
}

QPixmap padlockOpenPicture() {
    return picture(QStringLiteral("padlock-open"));
}

}  // namespace ostrel::ui
