#include "ui/Icons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <initializer_list>

namespace ostrel::ui {

namespace {

constexpr int kSize = 32;

// The sixteen colours of the classic VGA palette: every picture uses these and nothing else.
namespace vga {
const QColor black(0x00, 0x00, 0x00);
const QColor maroon(0x80, 0x00, 0x00);
const QColor green(0x00, 0x80, 0x00);
const QColor olive(0x80, 0x80, 0x00);
const QColor navy(0x00, 0x00, 0x80);
const QColor purple(0x80, 0x00, 0x80);
const QColor teal(0x00, 0x80, 0x80);
const QColor silver(0xC0, 0xC0, 0xC0);
const QColor grey(0x80, 0x80, 0x80);
const QColor red(0xFF, 0x00, 0x00);
const QColor lime(0x00, 0xFF, 0x00);
const QColor yellow(0xFF, 0xFF, 0x00);
const QColor blue(0x00, 0x00, 0xFF);
const QColor fuchsia(0xFF, 0x00, 0xFF);
const QColor aqua(0x00, 0xFF, 0xFF);
const QColor white(0xFF, 0xFF, 0xFF);
}  // namespace vga

// Pixel-exact drawing on a transparent 32x32 picture: no antialiasing, so every edge stays one crisp pixel.
class Canvas {
public:
    Canvas() : image_(kSize, kSize, QImage::Format_ARGB32) {
        image_.fill(Qt::transparent);
        painter_.begin(&image_);
        painter_.setRenderHint(QPainter::Antialiasing, false);
    }

    // Inclusive pixel coordinates, the way pixel art is planned.
    void fill(int x0, int y0, int x1, int y1, const QColor& colour) {
        painter_.fillRect(QRect(QPoint(x0, y0), QPoint(x1, y1)), colour);
    }
    void frame(int x0, int y0, int x1, int y1, const QColor& colour) {
        fill(x0, y0, x1, y0, colour);
        fill(x0, y1, x1, y1, colour);
        fill(x0, y0, x0, y1, colour);
        fill(x1, y0, x1, y1, colour);
    }
    void dot(int x, int y, const QColor& colour) { fill(x, y, x, y, colour); }
    void line(int x0, int y0, int x1, int y1, const QColor& colour) {
        painter_.setPen(QPen(colour, 1));
        painter_.drawLine(x0, y0, x1, y1);
    }
    void polygon(std::initializer_list<QPoint> points, const QColor& fillColour, const QColor& edge) {
        painter_.setPen(QPen(edge, 1));
        painter_.setBrush(fillColour);
        painter_.drawPolygon(QPolygon(QList<QPoint>(points)));
    }
    void ellipse(int x0, int y0, int x1, int y1, const QColor& fillColour, const QColor& edge) {
        painter_.setPen(QPen(edge, 1));
        painter_.setBrush(fillColour);
        painter_.drawEllipse(QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)));
    }
    QPainter& painter() { return painter_; }

    QPixmap picture() {
        painter_.end();
        return QPixmap::fromImage(image_);
    }

private:
    QImage image_;
    QPainter painter_;
};

// A manila folder in the Windows 3.x manner: yellow with an olive edge and a tab at the back.
void drawFolder(Canvas& c, int x0, int y0, int x1, int y1) {
    c.fill(x0 + 1, y0, x0 + 6, y0 + 2, vga::yellow);
    c.frame(x0 + 1, y0, x0 + 6, y0 + 2, vga::olive);
    c.fill(x0, y0 + 2, x1, y1, vga::yellow);
    c.frame(x0, y0 + 2, x1, y1, vga::olive);
    c.fill(x0 + 1, y0 + 3, x1 - 1, y0 + 3, vga::white);
    c.fill(x0 + 1, y1 - 1, x1 - 1, y1 - 1, vga::olive);
    c.fill(x1 + 1, y0 + 3, x1 + 1, y1 + 1, vga::black);
    c.fill(x0 + 1, y1 + 1, x1 + 1, y1 + 1, vga::black);
}

void drawPadlockBody(Canvas& c) {
    c.fill(7, 15, 24, 29, vga::yellow);
    c.frame(6, 14, 25, 30, vga::black);
    c.fill(7, 15, 24, 15, vga::white);
    c.fill(7, 15, 7, 29, vga::white);
    c.fill(8, 28, 24, 29, vga::olive);
    c.fill(23, 16, 24, 29, vga::olive);
    // Keyhole: a round head over a narrow slot.
    c.fill(15, 18, 16, 18, vga::black);
    c.fill(14, 19, 17, 21, vga::black);
    c.fill(15, 22, 16, 26, vga::black);
}

// A steel shackle: an arch of silver two pixels thick with a black outline over two legs, which reach down to
// leftBottom and rightBottom.
void drawShackle(Canvas& c, int left, int top, int leftBottom, int rightBottom) {
    const int right = left + 15;
    c.fill(left + 3, top, right - 3, top, vga::black);
    c.fill(left + 3, top + 1, right - 3, top + 1, vga::white);
    c.fill(left + 3, top + 2, right - 3, top + 2, vga::silver);
    c.fill(left + 4, top + 3, right - 4, top + 3, vga::black);
    c.dot(left + 2, top + 1, vga::black);
    c.dot(right - 2, top + 1, vga::black);
    c.dot(left + 1, top + 2, vga::black);
    c.dot(right - 1, top + 2, vga::black);
    c.fill(left + 2, top + 2, left + 2, top + 2, vga::white);
    c.fill(right - 2, top + 2, right - 2, top + 2, vga::silver);
    c.dot(left + 3, top + 3, vga::black);
    c.dot(right - 3, top + 3, vga::black);
    c.fill(left, top + 3, left, leftBottom, vga::black);
    c.fill(left + 1, top + 3, left + 1, leftBottom, vga::white);
    c.fill(left + 2, top + 3, left + 2, leftBottom, vga::silver);
    c.fill(left + 3, top + 4, left + 3, leftBottom, vga::black);
    c.fill(right - 3, top + 4, right - 3, rightBottom, vga::black);
    c.fill(right - 2, top + 3, right - 2, rightBottom, vga::silver);
    c.fill(right - 1, top + 3, right - 1, rightBottom, vga::grey);
    c.fill(right, top + 3, right, rightBottom, vga::black);
}

QPixmap monitorAndFolder() {
    Canvas c;
    // Monitor case with a light top left edge and a shaded bottom right one.
    c.fill(1, 1, 18, 14, vga::silver);
    c.frame(0, 0, 19, 15, vga::black);
    c.fill(1, 1, 18, 1, vga::white);
    c.fill(1, 1, 1, 14, vga::white);
    c.fill(2, 14, 18, 14, vga::grey);
    c.fill(18, 2, 18, 14, vga::grey);
    // Screen, with a glint in its corner and a power light below it.
    c.frame(3, 3, 16, 11, vga::grey);
    c.fill(4, 4, 15, 10, vga::teal);
    c.fill(5, 5, 9, 5, vga::aqua);
    c.fill(5, 5, 5, 7, vga::aqua);
    c.dot(15, 13, vga::lime);
    // Neck and foot.
    c.fill(7, 16, 12, 17, vga::grey);
    c.fill(3, 18, 16, 20, vga::silver);
    c.frame(3, 18, 16, 20, vga::black);
    c.fill(4, 19, 15, 19, vga::white);
    // The cable leaves the back of the monitor and drops into the folder.
    c.fill(20, 7, 26, 7, vga::black);
    c.fill(20, 8, 25, 8, vga::grey);
    c.fill(26, 7, 26, 20, vga::black);
    c.fill(25, 8, 25, 20, vga::grey);
    drawFolder(c, 16, 19, 30, 30);
    return c.picture();
}

QPixmap pageAndPen() {
    Canvas c;
    // A sheet with its top right corner folded over.
    c.fill(5, 1, 21, 30, vga::white);
    c.fill(5, 1, 5, 30, vga::black);
    c.fill(5, 30, 26, 30, vga::black);
    c.fill(26, 7, 26, 30, vga::black);
    c.fill(5, 1, 20, 1, vga::black);
    c.line(20, 1, 26, 7, vga::black);
    c.polygon({QPoint(20, 2), QPoint(20, 7), QPoint(25, 7)}, vga::silver, vga::black);
    c.fill(22, 8, 25, 29, vga::white);
    c.fill(6, 31, 27, 31, vga::grey);
    c.fill(27, 8, 27, 31, vga::grey);
    // Lines of writing.
    for (int y = 5; y <= 27; y += 3) {
        const int end = (y / 3) % 3 == 0 ? 18 : (y < 9 ? 17 : 23);
        c.fill(8, y, end, y, y == 5 ? vga::navy : vga::grey);
    }
    // The pen lies across the page from the lower left to the upper right: a yellow barrel, a silver ferrule
    // and a black nib writing at the end of the last line.
    QPainter& p = c.painter();
    const QList<QPoint> barrel = {QPoint(29, 6), QPoint(31, 8), QPoint(14, 25), QPoint(12, 23)};
    p.setPen(QPen(vga::black, 1));
    p.setBrush(vga::yellow);
    p.drawPolygon(QPolygon(barrel));
    c.line(29, 7, 13, 23, vga::white);
    c.line(30, 8, 14, 24, vga::olive);
    c.polygon({QPoint(12, 23), QPoint(14, 25), QPoint(12, 27), QPoint(10, 25)}, vga::silver, vga::black);
    c.polygon({QPoint(10, 25), QPoint(12, 27), QPoint(8, 29)}, vga::black, vga::black);
    c.polygon({QPoint(29, 6), QPoint(31, 8), QPoint(31, 6)}, vga::red, vga::black);
    return c.picture();
}

QPixmap globe() {
    Canvas c;
    QPainter& p = c.painter();
    const QRect ball(2, 2, 28, 28);
    p.setPen(Qt::NoPen);
    p.setBrush(vga::blue);
    p.drawEllipse(ball);
    QPainterPath sphere;
    sphere.addEllipse(QRectF(ball));
    p.setClipPath(sphere);
    // The Americas on the left, Europe and Africa on the right, lit from the upper left.
    const QColor land = vga::green;
    c.polygon({QPoint(4, 8), QPoint(8, 5), QPoint(13, 5), QPoint(14, 8), QPoint(11, 11), QPoint(10, 14),
               QPoint(8, 14), QPoint(5, 12)},
              land, land);
    c.polygon({QPoint(9, 16), QPoint(13, 16), QPoint(14, 19), QPoint(12, 23), QPoint(11, 28), QPoint(9, 27),
               QPoint(9, 22), QPoint(8, 18)},
              land, land);
    c.polygon({QPoint(18, 5), QPoint(23, 4), QPoint(28, 8), QPoint(27, 11), QPoint(22, 12), QPoint(19, 10)},
              land, land);
    c.polygon({QPoint(18, 13), QPoint(24, 13), QPoint(28, 16), QPoint(25, 21), QPoint(22, 26), QPoint(20, 25),
               QPoint(20, 20), QPoint(17, 17)},
              land, land);
    c.fill(7, 6, 9, 6, vga::lime);
    c.fill(6, 7, 6, 8, vga::lime);
    c.fill(19, 6, 21, 6, vga::lime);
    c.fill(18, 14, 20, 14, vga::lime);
    c.fill(10, 17, 10, 19, vga::lime);
    // Equator and meridians make it a globe rather than a ball.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(vga::aqua, 1));
    p.drawEllipse(QRect(9, 2, 13, 27));
    c.fill(2, 15, 29, 15, vga::aqua);
    p.setClipping(false);
    // The rim.
    p.setPen(QPen(vga::navy, 1));
    p.drawEllipse(QRect(2, 2, 27, 27));
    return c.picture();
}

QPixmap padlock(bool open) {
    Canvas c;
    if (open) {
        // Raised: the long leg still holds in the body, the short one stands free above it.
        drawShackle(c, 8, 0, 13, 8);
        c.fill(20, 9, 23, 9, vga::black);
    } else {
        drawShackle(c, 8, 3, 13, 13);
    }
    drawPadlockBody(c);
    return c.picture();
}

}  // namespace

QIcon mainWindowIcon() {
    return QIcon(monitorAndFolder());
}

QIcon editorIcon() {
    return QIcon(pageAndPen());
}

QIcon viewerIcon() {
    return QIcon(globe());
}

QPixmap padlockClosedPicture() {
    return padlock(false);
}

QPixmap padlockOpenPicture() {
    return padlock(true);
}

}  // namespace ostrel::ui
