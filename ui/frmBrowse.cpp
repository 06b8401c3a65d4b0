#include "ui/frmBrowse.h"

#include <QPushButton>

#include "ui/Icons.h"
#include "ui/Twips.h"
#include "ui/XmlView.h"

namespace ostrel::ui {

frmBrowse::frmBrowse(QWidget* parent)
    : QWidget(parent, Qt::Window), WebBrowser1(new XmlView(this)), Command1(new QPushButton("&Hide", this)) {
    setObjectName("frmBrowse");
    setWindowTitle("Result");
    setWindowIcon(viewerIcon());
    placeTwips(this, {2805, 2415, 10230, 6165});
    useLayoutFont(this);

    WebBrowser1->setObjectName("WebBrowser1");
    placeTwips(WebBrowser1, {0, 0, 10215, 5535});
    Command1->setObjectName("Command1");
    placeTwips(Command1, {9120, 5640, 1095, 255});
    setTabOrder(WebBrowser1, Command1);

    connect(Command1, &QPushButton::clicked, this, &frmBrowse::Command1_Click);
}

void frmBrowse::ShowPage(const QString& uri) {
    WebBrowser1->load(uri);
}

void frmBrowse::ShowPage(XmlPage page) {
    WebBrowser1->showPage(std::move(page));
}

void frmBrowse::ReleasePage() {
    WebBrowser1->release();
}

void frmBrowse::Command1_Click() {
    hide();
}

}  // namespace ostrel::ui
