// Workload 5: the main window, offscreen, while a slow server sends a large document.
//
//   ostrel-bench-responsive --result FILE [--megabytes 20] [--rate 5] [--cancels 20]
//
// A loopback server sends the document at the given rate (MB/s). "Get document" runs once to its end while a
// 10 ms timer notes how late it fires: the longest lateness is the longest time the windows could not paint.
// Then "Get document" is cancelled from its progress dialog again and again, timed from the Esc key to the
// command's end.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Support.h"
#include "support/ScriptedServer.h"
#include "support/WindowDriver.h"
#include "ui/frmMain.h"

using namespace ostrel;
using namespace ostrel::bench;

namespace {

std::string document(std::size_t bytes) {
    std::string text = "<?xml version='1.0'?><doc>";
    for (long item = 0; text.size() + 64 < bytes; ++item)
        text += "<item n='" + std::to_string(item) + "'>some text of the item</item>";
    return text + "</doc>";
}

// The document in pieces of 100 ms each, so that it arrives at the given rate.
test::Reply throttled(const std::string& body, double megabytesPerSecond) {
    test::Reply reply = test::Reply::http(
        200, "OK", "", {{"Content-Type", "text/xml"}, {"Content-Length", std::to_string(body.size())}});
    const auto piece = static_cast<std::size_t>(megabytesPerSecond * 1e6 / 10);
    for (std::size_t at = 0; at < body.size(); at += piece)
        reply.chunks.push_back({body.substr(at, piece), std::chrono::milliseconds(100)});
    return reply;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return runMeasured([&] {
        const Args args(argc, argv);
        const std::string body = document(static_cast<std::size_t>(args.number("megabytes", 20)) * 1000000);
        const double rate = static_cast<double>(args.number("rate", 5));
        test::ScriptedServer server;
        test::ScriptedToolkit toolkit;
        toolkit.resultFile = args.get("result");
        const std::unique_ptr<ui::frmMain> window = test::startMainWindow(toolkit, server.baseUrl(), "", "");
        test::setField(window.get(), "big.xml");
        auto* getDocument = test::control<QPushButton>(window.get(), "Command3");

        // One whole command, watched by a 10 ms timer.
        double longestStall = 0;
        Clock::time_point last = Clock::now();
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            longestStall = std::max(longestStall, secondsBetween(last, now) - 0.010);
            last = now;
        });
        server.enqueue(throttled(body, rate));
        last = Clock::now();
        ticker.start(10);
        const Clock::time_point start = Clock::now();
        QTest::mouseClick(getDocument, Qt::LeftButton);
        const double whole = secondsBetween(start, Clock::now());
        // A stall at the very end shows in the next tick.
        QTest::qWait(30);
        ticker.stop();
        if (!toolkit.boxes.empty()) throw std::runtime_error("Get document failed: " + toolkit.boxes[0].text);
        report("get_seconds", whole);
        report("longest_stall", longestStall);

        // Cancel, again and again.
        std::vector<double> cancels;
        const long rounds = args.number("cancels", 20);
        for (long round = 0; round < rounds; ++round) {
            server.enqueue(throttled(body, rate));
            Clock::time_point pressed;
            QTimer::singleShot(500, [&pressed] {
                QWidget* dialog = QApplication::activeModalWidget();
                pressed = Clock::now();
                if (dialog) QTest::keyClick(dialog, Qt::Key_Escape);
            });
            QTest::mouseClick(getDocument, Qt::LeftButton);
            const double took = secondsBetween(pressed, Clock::now());
            if (toolkit.boxes.size() != static_cast<std::size_t>(round + 1) ||
                toolkit.last().find("Cancelled") == std::string::npos)
                throw std::runtime_error("the command was not cancelled");
            cancels.push_back(took);
            report("cancel_to_ended", took);
        }
        report("cancel_median", median(cancels));
        return 0;
    });
}
