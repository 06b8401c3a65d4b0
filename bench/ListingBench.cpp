// ostrel-bench-listing: "Get resources" of large collections in the main window, offscreen, against Apache
// (Depth 1), next to curl sending the same request to the same server. For each size it measures the time
// from the click to the list painted against curl's own time for the request, the time from the reply's last
// byte to the list painted, the peak memory the listing adds beyond an empty listing's against the reply's
// size, how the client's cost per member grows, whether the list painted while it grew, and at the larger
// sizes how soon Cancel ends the command. Every run is checked: the list must end holding exactly the
// members, in order; a cancelled one what it held before.
//
//   ostrel-bench-listing [--members 2000,20000,100000] [--reps N] [--cancels 10] [--work DIR]
//                        9 repetitions each, 5 above 20,000 members, unless --reps says
//   ostrel-bench-listing --smoke 1      small collections, once each, every check and no target
//
// The collections are written straight into the served folder before Apache starts, one small file per
// member and no request per member; without display names each member is named by its href, as the stock
// servers name them. Apache and curl go through the same relay, which notes when the reply's last byte left
// it (see ReplyClock).
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Data.h"
#include "Process.h"
#include "ReplyClock.h"
#include "Support.h"
#include "support/DavServer.h"
#include "support/WindowDriver.h"
#include "ui/frmMain.h"

using namespace ostrel;
using namespace ostrel::bench;
namespace fs = std::filesystem;

namespace {

const std::string kListingBody =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><displayname/><resourcetype/></prop></propfind>";
constexpr double kRatioTarget = 1.10;
constexpr double kAfterLastByteTarget = 0.300;
constexpr double kMemoryTarget = 4.0;
constexpr double kGrowthTarget = 0.25;
constexpr double kCancelTarget = 0.200;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(bool condition, const std::string& what) {
    if (!condition) throw Failure(what);
}

double median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<long> numberList(const std::string& text) {
    std::vector<long> numbers;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) numbers.push_back(std::stol(item));
    return numbers;
}

std::string collectionName(long members) {
    return "bench/list" + std::to_string(members);
}

// ---------------------------------------------------------------------------------------------------------
// One size, in a process of its own: the main window offscreen, its requests and curl's through one relay.

// The resident set of this process now and at its peak, in KiB; the peak can be brought down to now.
long statusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) return std::stol(line.substr(std::string_view(field).size()));
    }
    return 0;
}
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The threads of this process, by id.
std::set<std::string> threads() {
    std::set<std::string> ids;
    for (const auto& entry : fs::directory_iterator("/proc/self/task")) ids.insert(entry.path().filename());
    return ids;
}

// Processor time of this process's threads but one, as the scheduler counts it (nanoseconds, where
// getrusage has ticks of 10 ms).
double cpuSeconds(const std::string& leftOut) {
    double total = 0;
    for (const std::string& id : threads()) {
        if (id == leftOut) continue;
        std::ifstream stat("/proc/self/task/" + id + "/schedstat");
        double nanoseconds = 0;
        if (stat >> nanoseconds) total += nanoseconds / 1e9;
    }
    return total;
}

// Notes each paint of the list and the rows it held then.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QListWidget& list) : list_(list) { list.viewport()->installEventFilter(this); }
    std::vector<int> rowsPainted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) rowsPainted.push_back(list_.count());
        return false;
    }

private:
    QListWidget& list_;
};

class Window {
public:
    Window(test::ScriptedToolkit& toolkit, const std::string& uri, std::string relayThread)
        : relayThread_(std::move(relayThread)),
          toolkit_(toolkit),
          window_(test::startMainWindow(toolkit, uri, "", "")) {
        field_ = window_->findChild<QLineEdit*>("txtWebDAVResource");
        list_ = window_->findChild<QListWidget*>("lstResult");
        getResources_ = window_->findChild<QPushButton*>("Command8");
        require(field_ && list_ && getResources_, "the main window lacks its controls");
        watch_.emplace(*list_);
    }

    struct Listed {
        double clickToPainted = 0;
        double lastByteToPainted = 0;
        double cpu = 0;
        long growthKib = 0;
        long paintsWhileGrowing = 0;
    };

    // One "Get resources", checked: the list holds exactly the members, in order.
    Listed list(const std::string& collection, long members, const ReplyClock& relay) {
        field_->setText(QString::fromStdString(collection));
        watch_->rowsPainted.clear();
        QCoreApplication::processEvents();
        resetPeak();
        const long before = statusKib("VmRSS:");
        const double cpuBefore = cpuSeconds(relayThread_);
        const std::size_t messages = toolkit_.boxes.size();
        const Clock::time_point start = Clock::now();
        QTest::mouseClick(getResources_, Qt::LeftButton);
        const long growingPaints = static_cast<long>(watch_->rowsPainted.size());
        const Clock::time_point painted = untilPainted();
        Listed listed{secondsBetween(start, painted), 0, cpuSeconds(relayThread_) - cpuBefore,
                      statusKib("VmHWM:") - before, growingPaints};
        // The relay notes the time just after it passed the bytes on, and may be slow to get there.
        QTest::qWait(100);
        listed.lastByteToPainted = secondsBetween(relay.lastReplyByte(), painted);
        require(toolkit_.boxes.size() == messages, "Get resources failed: " + toolkit_.last());
        requireListed(members, "the listing");
        return listed;
    }

    // "Get resources" cancelled from its progress dialog after waiting: the time from Esc to the command's
    // end. The list must hold what it held before.
    double cancel(const std::string& collection, long listedBefore, double wait) {
        field_->setText(QString::fromStdString(collection));
        Clock::time_point pressed;
        QTimer::singleShot(static_cast<int>(wait * 1000), [&pressed] {
            pressed = Clock::now();
            if (QWidget* dialog = QApplication::activeModalWidget()) QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QTest::mouseClick(getResources_, Qt::LeftButton);
        const double took = secondsBetween(pressed, Clock::now());
        require(toolkit_.last().find("Cancelled") != std::string::npos,
                "the listing was not cancelled (it took " + std::to_string(wait) + " s and more)");
        requireListed(listedBefore, "a cancelled listing");
        return took;
    }

private:
    Clock::time_point untilPainted() {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        const std::size_t before = watch_->rowsPainted.size();
        while (watch_->rowsPainted.size() == before && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        require(watch_->rowsPainted.size() > before, "the list did not paint");
        return Clock::now();
    }

    void requireListed(long members, const std::string& what) {
        require(list_->count() == members, what + " shows " + std::to_string(list_->count()) +
                                               " entries, not " + std::to_string(members));
        for (long i = 0; i < members; ++i) {
            const std::string row = list_->item(static_cast<int>(i))->text().toStdString();
            require(row == data::memberName(i), what + " shows " + row + " at row " + std::to_string(i));
        }
    }

    const std::string relayThread_;
    test::ScriptedToolkit& toolkit_;
    std::unique_ptr<ui::frmMain> window_;
    QLineEdit* field_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* getResources_ = nullptr;
    std::optional<PaintWatch> watch_;
};

struct CurlRun {
    double seconds = 0;
    long bytes = 0;
};

// curl's own time for the request, from its start to the last byte, without the process's start.
CurlRun curl(const std::string& url, const std::string& scratch) {
    const std::string body = scratch + "/listing.xml";
    if (!fs::exists(body)) writeText(body, kListingBody);
    const Finished done = runProgram({"curl", "-sS", "--noproxy", "*", "-X", "PROPFIND", "-H", "Depth: 1",
                                      "-H", "Content-Type: text/xml", "--data-binary", "@" + body, "-o",
                                      "/dev/null", "-w", "%{http_code} %{size_download} %{time_total}", url},
                                     scratch);
    std::istringstream out(done.out);
    std::string status;
    CurlRun run;
    out >> status >> run.bytes >> run.seconds;
    require(done.exitCode == 0 && status == "207", "curl PROPFIND: " + done.out + done.err);
    return run;
}

int measure(const Args& args) {
    // The relay's thread is the benchmark's, not the client's: its processor time is left out.
    const std::set<std::string> before = threads();
    ReplyClock relay(static_cast<int>(args.number("port", 0)));
    std::vector<std::string> relayThreads;
    std::ranges::set_difference(threads(), before, std::back_inserter(relayThreads));
    require(relayThreads.size() == 1, "the relay's thread is not to be found");
    test::ScriptedToolkit toolkit;
    const std::string base = "http://127.0.0.1:" + std::to_string(relay.port()) + "/ostrelwebdavserver";
    // Apart from the folder where the driver keeps this process's own output.
    const std::string scratch = args.get("scratch") + "/curl";
    fs::create_directories(scratch);
    toolkit.resultFile = scratch + "/result.xml";
    Window window(toolkit, base, relayThreads.front());
    const long members = args.number("members", 0);
    const std::string collection = collectionName(members);
    const std::string url = base + "/" + collection + "/";
    // The first listing of the process, into an empty list, tells the memory it needs; it also makes the
    // fonts, styles and connection that are made once per run, and warms the server's caches.
    report("growth_kib", window.list(collection, members, relay).growthKib);
    report("reply_bytes", curl(url, scratch).bytes);
    std::vector<double> whole;
    for (long rep = 0; rep < args.number("reps", 5); ++rep) {
        const bool curlFirst = rep % 2 == 0;
        if (curlFirst) report("curl_seconds", curl(url, scratch).seconds);
        const Window::Listed listed = window.list(collection, members, relay);
        whole.push_back(listed.clickToPainted);
        report("click_to_painted", listed.clickToPainted);
        report("last_byte_to_painted", listed.lastByteToPainted);
        report("cpu_seconds", listed.cpu);
        report("paints_while_growing", listed.paintsWhileGrowing);
        if (!curlFirst) report("curl_seconds", curl(url, scratch).seconds);
    }
    // Cancelled at even steps through the time a listing takes, from when its dialog is up (300 ms) on.
    const long cancels = args.number("cancels", 0);
    // Up to well before its usual end, so that none ends before its Esc.
    const double span = median(whole) - 0.35;
    for (long i = 0; i < cancels && span > 0.4; ++i)
        report("cancel_seconds",
               window.cancel(collection, members,
                             0.35 + 0.6 * span * static_cast<double>(i) / static_cast<double>(cancels)));
    report("connections", relay.connections());
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// The driver: data, the server, a process per size, the table.

// One small file per member, written where Apache serves them; kept for the next run with --work.
void makeCollection(const std::string& dav, long members) {
    const fs::path folder = dav + "/" + collectionName(members);
    const fs::path made = folder.string() + ".made";
    if (fs::exists(made)) return;
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (long i = 0; i < members; ++i) {
        std::ofstream(folder / data::memberName(i)) << "<doc n=\"" << i << "\"/>\n";
    }
    writeText(made.string(), "");
}

struct Size {
    long members = 0;
    std::map<std::string, std::vector<std::string>> values;

    std::vector<double> series(const std::string& key) const {
        std::vector<double> out;
        if (const auto found = values.find(key); found != values.end()) {
            for (const std::string& value : found->second) out.push_back(std::stod(value));
        }
        return out;
    }
    double medianOf(const std::string& key) const { return median(series(key)); }
};

std::string ms(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 0.1 ? "%.1f ms" : "%.0f ms", seconds * 1000);
    return text;
}

std::string spread(const std::vector<double>& values) {
    if (values.empty()) return "–";
    return ms(median(values)) + " (" + ms(*std::min_element(values.begin(), values.end())) + "–" +
           ms(*std::max_element(values.begin(), values.end())) + ")";
}

std::string verdict(bool met) {
    return met ? "met" : "MISSED";
}

// The median of the repetitions' own ratios: each one ran ours and curl back to back.
double ratio(const Size& size) {
    const std::vector<double> ours = size.series("click_to_painted");
    const std::vector<double> reference = size.series("curl_seconds");
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(ours.size(), reference.size()); ++i)
        ratios.push_back(ours[i] / reference[i]);
    return median(ratios);
}

// Time beyond the empty collection's, per member, of a series (ours or curl's).
double perMember(const Size& size, const Size& empty, const std::string& key) {
    return (size.medianOf(key) - empty.medianOf(key)) / static_cast<double>(size.members);
}

// How far apart the largest and smallest of the per-member figures are, relative to the smallest.
double variation(const std::vector<double>& figures) {
    const auto [low, high] = std::minmax_element(figures.begin(), figures.end());
    return *high / *low - 1;
}

// The peak memory a listing adds beyond the empty collection's (the progress dialog, the first paint of
// rows and such are made once, whatever the size), in bytes.
double addedBytes(const Size& size, const Size& empty) {
    return (size.medianOf("growth_kib") - empty.medianOf("growth_kib")) * 1024;
}

void printResults(const std::vector<Size>& sizes, bool smoke) {
    std::printf(
        "| \"Get resources\", Depth 1 | click → list painted | curl, same request | ratio | last reply byte "
        "→ list painted | peak memory added / reply | notes |\n|---|---|---|---|---|---|---|\n");
    const Size& empty = sizes.front();
    std::vector<double> wall;
    std::vector<double> cpu;
    std::vector<double> memory;
    double worstAfterLastByte = 0;
    double worstMemory = 0;
    double worstRatio = 0;
    std::vector<double> cancels;
    for (const Size& size : sizes) {
        const double reply = size.medianOf("reply_bytes");
        const double added = addedBytes(size, empty);
        char notes[240];
        std::snprintf(notes, sizeof notes,
                      "reply %.0f KiB; %.1f MiB with the empty listing's; painted %.0f times while growing; "
                      "processor %s",
                      reply / 1024, size.medianOf("growth_kib") / 1024, size.medianOf("paints_while_growing"),
                      ms(size.medianOf("cpu_seconds")).c_str());
        std::printf("| %ld members | %s | %s | %.2f | %s | %.1f MiB / %.1f MiB (%.1f ×) | %s |\n",
                    size.members, spread(size.series("click_to_painted")).c_str(),
                    spread(size.series("curl_seconds")).c_str(), ratio(size),
                    spread(size.series("last_byte_to_painted")).c_str(), added / (1 << 20), reply / (1 << 20),
                    added / reply, notes);
        if (size.members == 0) continue;
        worstRatio = std::max(worstRatio, ratio(size));
        worstAfterLastByte = std::max(worstAfterLastByte, size.medianOf("last_byte_to_painted"));
        worstMemory = std::max(worstMemory, added / reply);
        wall.push_back(perMember(size, empty, "click_to_painted"));
        cpu.push_back(perMember(size, empty, "cpu_seconds"));
        memory.push_back(added / static_cast<double>(size.members));
        const std::vector<double> cancelled = size.series("cancel_seconds");
        cancels.insert(cancels.end(), cancelled.begin(), cancelled.end());
    }
    std::printf(
        "\nPer member, beyond the empty collection (processor: the window's threads, not the relay's):\n\n"
        "| members | wall, ours | wall, curl | processor, ours | peak memory added |\n"
        "|---|---|---|---|---|\n");
    for (std::size_t i = 1; i < sizes.size(); ++i) {
        std::printf("| %ld | %.1f µs | %.1f µs | %.1f µs | %.0f bytes |\n", sizes[i].members,
                    wall[i - 1] * 1e6, perMember(sizes[i], empty, "curl_seconds") * 1e6, cpu[i - 1] * 1e6,
                    memory[i - 1]);
    }
    if (smoke) return;
    const double cancelMedian = median(cancels);
    const double cancelWorst = cancels.empty() ? NAN : *std::max_element(cancels.begin(), cancels.end());
    std::printf("\nTargets:\n\n");
    std::printf("- click → list painted ≤ %.2f × curl: %.2f at worst, %s\n", kRatioTarget, worstRatio,
                verdict(worstRatio <= kRatioTarget).c_str());
    std::printf("- last reply byte → list painted ≤ %s: %s at worst, %s\n", ms(kAfterLastByteTarget).c_str(),
                ms(worstAfterLastByte).c_str(), verdict(worstAfterLastByte <= kAfterLastByteTarget).c_str());
    std::printf("- peak memory a listing adds ≤ %.0f × its reply: %.1f × at worst, %s\n", kMemoryTarget,
                worstMemory, verdict(worstMemory <= kMemoryTarget).c_str());
    // The wall time per member is mostly the server's; the client's own cost is its processor time.
    std::printf(
        "- the client's cost per member within %.0f%% between sizes: processor %.0f%%, memory %.0f%%, %s "
        "(wall %.0f%%)\n",
        kGrowthTarget * 100, variation(cpu) * 100, variation(memory) * 100,
        verdict(variation(cpu) <= kGrowthTarget && variation(memory) <= kGrowthTarget).c_str(),
        variation(wall) * 100);
    std::printf("- Cancel → command ended ≤ %s: median %s, slowest %s of %zu, %s\n",
                ms(kCancelTarget).c_str(), ms(cancelMedian).c_str(), ms(cancelWorst).c_str(), cancels.size(),
                verdict(cancelWorst <= kCancelTarget).c_str());
}

int drive(const Args& args) {
    const bool smoke = args.has("smoke");
    std::vector<long> members = numberList(args.get("members", smoke ? "20,200" : "2000,20000,100000"));
    members.insert(members.begin(), 0);
    // Fewer repetitions where one takes seconds.
    const long reps = args.number("reps", smoke ? 1 : 9);
    const long largeReps = args.number("reps", smoke ? 1 : 5);
    const long cancels = args.number("cancels", smoke ? 0 : 10);
    std::string work = args.get("work", "");
    const bool keep = !work.empty();
    if (!keep) {
        std::string pattern = (fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string()) +
                              "/ostrel-bench-listing-XXXXXX";
        require(::mkdtemp(pattern.data()) != nullptr, "cannot make a work folder");
        work = pattern;
    }
    // A folder of the run's own goes with it, also when the run fails.
    struct Removed {
        std::string folder;
        ~Removed() {
            std::error_code ignored;
            if (!folder.empty()) fs::remove_all(folder, ignored);
        }
    } removed{keep ? std::string() : work};
    fs::create_directories(work + "/scratch");
    fs::permissions(work, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    std::vector<Size> sizes;
    {
        const Clock::time_point writing = Clock::now();
        for (const long count : members) makeCollection(work + "/dav", count);
        const test::DavServer server({.seed = false, .folder = work});
        std::fprintf(stderr, "Get resources: collections written and the server started in %.1f s\n",
                     secondsBetween(writing, Clock::now()));
        const std::string self = fs::read_symlink("/proc/self/exe").string();
        for (const long count : members) {
            std::fprintf(stderr, "Get resources: %ld members ...\n", count);
            std::vector<std::string> command = {self,        "measure",
                                                "--port",    std::to_string(server.port()),
                                                "--members", std::to_string(count),
                                                "--reps",    std::to_string(count > 20000 ? largeReps : reps),
                                                "--scratch", work + "/scratch"};
            // Cancelled where a listing lasts long enough for its progress dialog.
            if (count >= 20000) command.insert(command.end(), {"--cancels", std::to_string(cancels)});
            const Finished finished = runProgram(command, work + "/scratch", {"QT_QPA_PLATFORM=offscreen"});
            require(finished.exitCode == 0, "the listing of " + std::to_string(count) +
                                                " members failed: " + finished.err.substr(0, 2000));
            sizes.push_back({count, parseReport(finished.out)});
        }
    }
    printResults(sizes, smoke);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return runMeasured([&] {
        const Args args(argc, argv);
        if (args.mode() != "measure") return drive(args);
        QApplication app(argc, argv);
        return measure(args);
    });
}
