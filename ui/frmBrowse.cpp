#include "ui/frmBrowse.h"

#include <QPushButton>

#include "ui/Icons.h"
#include "ui/XmlView.h"

namespace ostrel::ui {

namespace {
// The client area as drawn, and the controls in it.
constexpr QSize kDrawnClientArea(10230, 6165);
constexpr QRect kViewer(0, 0, 10215, 5535);
constexpr QRect kHide(9120, 5640, 1095, 255);
}  // namespace

frmBrowse::frmBrowse(QWidget* parent)
    : QWidget(parent, Qt::Window),
      WebBrowser1(new XmlView(this)),
      Command1(new QPushButton("&Hide", this)),
      placements(kDrawnClientArea, AnchoredLayout::Smaller::KeepsDrawn) {
    setObjectName("frmBrowse");
    setWindowTitle("Result");
    setWindowIcon(viewerIcon());
    placeTwips(this, {QPoint(2805, 2415), kDrawnClientArea});
    useLayoutFont(this);

    WebBrowser1->setObjectName("WebBrowser1");
    WebBrowser1->setAccessibleName("Result");
    Command1->setObjectName("Command1");
    // The document takes the room a larger window gives; Hide keeps to the bottom right corner.
    placements.add(WebBrowser1, kViewer, kAllEdges);
    placements.add(Command1, kHide, kRight | kBottom);
    placements.arrange(rect());
    setTabOrder(WebBrowser1, Command1);

    connect(Command1, &QPushButton::clicked, this, &frmBrowse::Command1_Click);
}

void frmBrowse::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placements.arrange(rect());
}

void frmBrowse::ShowPage(const QString& uri) {
    WebBrowser1->load(uri);
}

void frmBrowse::ShowPage(XmlPage page) {
    WebBrowser1->showPage(std::move(page));
}

void frmBrowse::Command1_Click() {
    hide();
}

}  // namespace ostrel::ui
