// The desktop's message boxes: Esc gives the cautious answer, and a short message leaves the caption room.
#include <QApplication>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <functional>

#include "support/WindowDriver.h"
#include "ui/QtToolkit.h"

using ostrel::ui::QtToolkit;

namespace {

constexpr const char* kCaption = "Ostrel WebDAV";

// Presses Esc on the modal box as soon as it is up, noting its width first; the key goes where a person's
// goes, to the button that has the focus and from there to the box.
void escapeWhenShown(int& width) {
    ostrel::test::whenModalShows<QWidget>([&width](QWidget* box) {
        width = box->width();
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape);
    });
}

}  // namespace

class ToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void escAnswersCautiouslyAndTheCaptionHasRoom() {
        QtToolkit toolkit;
        // The caption in a bold frame font, beside three frame buttons of at least a title bar's height.
        QFont frameFont = QApplication::font();
        frameFont.setBold(true);
        const int room = QFontMetrics(frameFont).horizontalAdvance(kCaption) +
                         3 * QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
        const std::function<int()> boxes[] = {
            [&] {
                return toolkit.Choose("Store?", {"Store", "Discard", "Cancel"}, 0, 2, kCaption);
            },
            [&] { return toolkit.AskYesNo("Delete?", kCaption) ? 1 : 0; },
            [&] {
                toolkit.MsgBox("x", kCaption);
                return -1;
            },
        };
        const int answers[] = {2, 0, -1};
        for (std::size_t i = 0; i < std::size(boxes); ++i) {
            int width = 0;
            escapeWhenShown(width);
            QCOMPARE(boxes[i](), answers[i]);
            QVERIFY2(width >= room, qPrintable(QString("%1 < %2").arg(width).arg(room)));
        }
    }
};

QTEST_MAIN(ToolkitTest)
#include "ToolkitTest.moc"
