#include <QApplication>

#include "ui/QtToolkit.h"
#include "ui/frmMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("ostrel-webdav");
    QApplication::setApplicationDisplayName("Ostrel WebDAV");

    ostrel::ui::QtToolkit toolkit;
    ostrel::ui::frmMain window(toolkit);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
