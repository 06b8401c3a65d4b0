#include <QApplication>

#include <cstdio>
#include <cstring>

#include "ui/QtToolkit.h"
#include "ui/frmMain.h"

namespace {

constexpr const char* kUsage = "Usage: ostrel-webdav [--version | --help]\n";

int runWindows(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ostrel::ui::nameApplication();
    QApplication::setApplicationVersion(OSTREL_VERSION);
    QApplication::setDesktopFileName("org.ostrel.webdav");

    ostrel::ui::QtToolkit toolkit;
    ostrel::ui::frmMain window(toolkit);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}

}  // namespace

// The options are read before Qt starts, so that --version and --help work without a display.
int main(int argc, char* argv[]) {
    if (argc == 1) return runWindows(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ostrel-webdav %s\n", OSTREL_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "%s\n"
            "A desktop client for a WebDAV server that stores XML documents. It asks for the server URI\n"
            "and the credentials at start-up.\n\n"
            "  --version  print the version and exit\n"
            "  --help     print this help and exit\n",
            kUsage);
        return 0;
    }
    if (argc > 2)
        std::fprintf(stderr, "ostrel-webdav: one option at most\n%s", kUsage);
    else
        std::fprintf(stderr, "ostrel-webdav: unknown option: %s\n%s", argv[1], kUsage);
    return 2;
}
