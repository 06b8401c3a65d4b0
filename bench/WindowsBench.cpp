// Workload 4: the main window, offscreen, driven by clicks against the real server.
//
//   ostrel-bench-windows --port P --path /ostrelwebdavserver --collection C --expect N
//                        --document R --root NAME --warm-collection C2 --warm-document R2
//                        --result FILE [--reps K] [--user U --password P]
//   ostrel-bench-windows find --result FILE [--mb 20] [--reps K]
//
// "Get resources" is timed from the click, and from the last reply byte, to the list having painted its
// rows; "Get document" (the request, then ShowResult) from the click, the last reply byte and the call of
// ShowResult to the viewer having painted the laid-out document. The requests go through a relay that notes
// when the reply's last byte passed (see ReplyClock).
//
// "find" times the viewer's Find on an XBRL instance of that many megabytes whose only match is its last
// element: from the search to the viewer having painted the selected row, none of whose rows were made
// before (the whole document is searched and the rows on the path made).
#include <QAbstractItemModel>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "Data.h"
#include "ReplyClock.h"
#include "Support.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "support/WindowDriver.h"
#include "ui/XmlView.h"
#include "ui/frmMain.h"

using namespace ostrel;
using namespace ostrel::bench;
using test::control;

namespace {

// The result steps of a command ask for the result file's path first thing (on the worker), which marks when
// ShowResult's work begins.
class TimedToolkit : public test::ScriptedToolkit {
public:
    Clock::time_point resultPathAsked;

    std::string ResultFilePath() override {
        resultPathAsked = Clock::now();
        return ScriptedToolkit::ResultFilePath();
    }
};

class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Lets the window work until the watched widget has painted; the moment painting is over, or nothing when it
// did not paint within ten seconds.
std::optional<Clock::time_point> untilPainted(PaintWatch& watch) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (!watch.painted && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!watch.painted) return std::nullopt;
    return Clock::now();
}

// The rows the viewer's model has made: asking for them makes none.
long rowsMade(const QAbstractItemModel& model, const QModelIndex& parent) {
    long rows = model.rowCount(parent);
    for (int row = 0; row < model.rowCount(parent); ++row)
        rows += rowsMade(model, model.index(row, 0, parent));
    return rows;
}

class Bench {
public:
    Bench(const Args& args, TimedToolkit& toolkit) : args_(args), toolkit_(toolkit) {}

    int run(ReplyClock& relay) {
        const std::string uri =
            "http://127.0.0.1:" + std::to_string(relay.port()) + args_.get("path", "/ostrelwebdavserver");
        window_ = test::startMainWindow(toolkit_, uri, QString::fromStdString(args_.get("user", "")),
                                        QString::fromStdString(args_.get("password", "")));
        field_ = control<QLineEdit>(window_.get(), "txtWebDAVResource");
        list_ = control<QListWidget>(window_.get(), "lstResult");
        list_->viewport()->installEventFilter(&listPainted_);

        // One unmeasured round with small data: fonts, styles and the viewer window are made once per run.
        if (!listOnce(args_.get("warm-collection"), -1, nullptr) ||
            !showOnce(args_.get("warm-document"), nullptr))
            return 1;
        const long reps = args_.number("reps", 3);
        const long expected = args_.number("expect", 0);
        for (long rep = 0; rep < reps; ++rep) {
            if (!listOnce(args_.get("collection"), expected, &relay)) return 1;
            if (!showOnce(args_.get("document"), &relay)) return 1;
        }
        report("connections", relay.connections());
        return 0;
    }

private:
    bool failed(const std::string& what) {
        std::fprintf(stderr, "%s\n", what.c_str());
        for (const test::ScriptedToolkit::Shown& box : toolkit_.boxes)
            std::fprintf(stderr, "message: %s\n", box.text.c_str());
        return false;
    }

    bool click(const char* command, const std::string& resource) {
        field_->setText(QString::fromStdString(resource));
        const std::size_t before = toolkit_.boxes.size();
        test::click(window_.get(), command);
        return toolkit_.boxes.size() == before;
    }

    bool listOnce(const std::string& collection, long expected, const ReplyClock* relay) {
        listPainted_.painted = false;
        const Clock::time_point start = Clock::now();
        if (!click("Command8", collection)) return failed("Get resources failed for " + collection);
        const Clock::time_point filled = Clock::now();
        const long rows = list_->count();
        const std::optional<Clock::time_point> painted = untilPainted(listPainted_);
        if (!painted) return failed("the list did not paint");
        if (expected >= 0 && rows != expected) {
            return failed("the list shows " + std::to_string(rows) + " entries, expected " +
                          std::to_string(expected));
        }
        if (relay) {
            report("list_rows", rows);
            report("list_click_to_filled", secondsBetween(start, filled));
            report("list_click_to_painted", secondsBetween(start, *painted));
            report("list_reply_to_painted", secondsBetween(relay->lastReplyByte(), *painted));
        }
        return true;
    }

    bool showOnce(const std::string& document, const ReplyClock* relay) {
        viewerPainted_.painted = false;
        const Clock::time_point start = Clock::now();
        if (!click("Command3", document)) return failed("Get document failed for " + document);
        QWidget* browser = test::topLevel("frmBrowse");
        if (!browser) return failed("no viewer after Get document");
        auto* tree = control<QTreeView>(browser, "xmlTree");
        if (!watching_) {
            // The viewer is made by the first Get document; later ones are watched from before the click.
            tree->viewport()->installEventFilter(&viewerPainted_);
            watching_ = true;
            // It may have painted already; this first round is not measured, so have it paint again.
            tree->viewport()->update();
        }
        const std::optional<Clock::time_point> painted = untilPainted(viewerPainted_);
        if (!painted) return failed("the viewer did not paint");
        if (!tree->isVisible())
            return failed("the viewer shows no tree: " +
                          control<QLabel>(browser, "xmlError")->text().toStdString());
        // The document element's row comes after the XML declaration's.
        const QString lastRow = tree->model()->index(tree->model()->rowCount() - 1, 0).data().toString();
        if (relay) {
            const QString root = QString::fromStdString(args_.get("root"));
            if (!lastRow.contains(root)) {
                return failed("the viewer's last top-level row is \"" + lastRow.left(200).toStdString() +
                              "\", not the " + args_.get("root") + " element");
            }
            report("show_rows_made", rowsMade(*tree->model(), QModelIndex()));
            report("show_click_to_painted", secondsBetween(start, *painted));
            report("show_call_to_painted", secondsBetween(toolkit_.resultPathAsked, *painted));
            report("show_reply_to_painted", secondsBetween(relay->lastReplyByte(), *painted));
        }
        return true;
    }

    const Args& args_;
    TimedToolkit& toolkit_;
    std::unique_ptr<ui::frmMain> window_;
    QLineEdit* field_ = nullptr;
    QListWidget* list_ = nullptr;
    PaintWatch listPainted_;
    PaintWatch viewerPainted_;
    bool watching_ = false;
};

int findOnce(const Args& args) {
    constexpr std::string_view kEnd = "</xbrli:xbrl>";
    std::string document = data::instance(static_cast<std::size_t>(args.number("mb", 20)) << 20);
    document.insert(document.rfind(kEnd), "  <note>needle at the end</note>\n");
    const std::string path = args.get("result");
    files::writeFileAtomically(path, document);
    std::string().swap(document);

    ui::XmlView view;
    view.resize(1000, 700);
    view.show();
    auto* tree = control<QTreeView>(&view, "xmlTree");
    PaintWatch painted;
    tree->viewport()->installEventFilter(&painted);
    for (long rep = 0; rep < args.number("reps", 3); ++rep) {
        view.load(QString::fromStdString(path));
        QCoreApplication::processEvents();
        painted.painted = false;
        const Clock::time_point start = Clock::now();
        if (!view.find("NEEDLE AT", true)) {
            std::fprintf(stderr, "find did not reach the last element\n");
            return 1;
        }
        const std::optional<Clock::time_point> shown = untilPainted(painted);
        if (!shown || !tree->currentIndex().data().toString().contains("needle at the end")) {
            std::fprintf(stderr, "the viewer did not show the match\n");
            return 1;
        }
        report("find_first_hit", secondsBetween(start, *shown));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return runMeasured([&] {
        const Args args(argc, argv);
        if (args.mode() == "find") return findOnce(args);
        ReplyClock relay(static_cast<int>(args.number("port", 0)));
        TimedToolkit toolkit;
        toolkit.resultFile = args.get("result");
        Bench bench(args, toolkit);
        return bench.run(relay);
    });
}
