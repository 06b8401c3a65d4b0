#include "Measuring.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <set>

#include "Support.h"
#include "platform/Error.h"

namespace ostrel::bench {

void require(bool condition, const std::string& what) {
    if (!condition) throw Failure(what);
}

void Series::add(const Sample& sample) {
    seconds.push_back(sample.seconds);
    cpuSeconds.push_back(sample.cpuSeconds);
    peakKib = std::max(peakKib, sample.peakKib);
    for (const auto& [key, value] : sample.values) values[key].push_back(value);
}

double median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double minimum(const std::vector<double>& values) {
    return values.empty() ? NAN : *std::min_element(values.begin(), values.end());
}

double maximum(const std::vector<double>& values) {
    return values.empty() ? NAN : *std::max_element(values.begin(), values.end());
}

std::vector<double> numbers(const std::vector<std::string>& texts) {
    std::vector<double> out;
    for (const std::string& text : texts) out.push_back(std::stod(text));
    return out;
}

double ratioOf(const std::vector<double>& ours, const std::vector<double>& reference) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(ours.size(), reference.size()); ++i)
        ratios.push_back(ours[i] / reference[i]);
    return median(ratios);
}

double ratio(const Row& row) {
    return ratioOf(row.ours.seconds, row.reference.seconds);
}

std::string formatted(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string duration(double seconds) {
    char text[32];
    if (std::isnan(seconds)) return "–";
    if (seconds >= 10) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else if (seconds >= 0.1) {
        std::snprintf(text, sizeof text, "%.0f ms", seconds * 1000);
    } else {
        std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
    }
    return text;
}

std::string sizeLabel(std::size_t bytes) {
    char text[32];
    if (bytes >= (1u << 20)) {
        std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / (1 << 20));
    } else {
        std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1024);
    }
    return text;
}

std::string authLabel(const Server& server) {
    return server.auth == "none" ? "no authentication" : server.auth;
}

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

Target ratioAtMost(double limit, int decimals, Target more) {
    return [=](const Row& row) {
        const double r = ratio(row);
        return formatted("ratio %.*f ≤ %.2f %s", decimals, r, limit, verdict(r <= limit)) +
               (more ? more(row) : std::string());
    };
}

Target timeAtMost(Figure figure, double limit, std::string limitText, bool withSlowest) {
    return [=](const Row& row) {
        const double m = figure == Figure::Median ? median(row.ownTimes) : maximum(row.ownTimes);
        std::string line = duration(m) + " ≤ " + limitText + " " + verdict(m <= limit);
        if (withSlowest) line += " (slowest " + duration(maximum(row.ownTimes)) + ")";
        return line;
    };
}

Row compare(const std::string& workload, long reps, bool warmUp, const std::function<Sample()>& ours,
            const std::function<Sample()>& reference) {
    Row row;
    row.workload = workload;
    std::fprintf(stderr, "%s ...\n", workload.c_str());
    try {
        if (warmUp) {
            ours();
            reference();
        }
        for (long rep = 0; rep < reps; ++rep) {
            if (rep % 2 == 0) {
                row.ours.add(ours());
                row.reference.add(reference());
            } else {
                row.reference.add(reference());
                row.ours.add(ours());
            }
        }
    } catch (const Failure& failure) {
        row.failure = failure.what();
    } catch (const Error& error) {
        row.failure = error.description();
    } catch (const std::exception& error) {
        row.failure = error.what();
    }
    return row;
}

long logPairs(const Options& options) {
    return options.logPairs > 0 ? options.logPairs : kLogCostRepsFactor * options.reps;
}

namespace {

// The 95% interval of the median of the repetitions' own ratios, whatever their distribution: the order
// statistics n/2 ∓ 0.98·√n of the sorted ratios.
std::pair<double, double> ratioInterval(const Row& row) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(row.ours.seconds.size(), row.reference.seconds.size()); ++i)
        ratios.push_back(row.ours.seconds[i] / row.reference.seconds[i]);
    if (ratios.empty()) return {NAN, NAN};
    std::sort(ratios.begin(), ratios.end());
    const double n = static_cast<double>(ratios.size());
    const auto low = static_cast<std::size_t>(std::max(0.0, std::floor(n / 2 - 0.98 * std::sqrt(n))));
    return {ratios[low], ratios[ratios.size() - 1 - low]};
}

}  // namespace

Row logCost(const Context& context, const std::string& workload, const std::string& log, long reps,
            const std::function<Sample(const std::string& log)>& client) {
    const bool open = log == "open";
    Row row = compare(
        "Log cost (" + std::string(open ? "window open" : "window never opened") + ") of " + workload, reps,
        context.options.warmUp, [&] { return client(log); }, [&] { return client(""); });
    const auto [low, high] = ratioInterval(row);
    row.notes =
        "reference: the same client without a log" +
        formatted("; 95%% interval of the ratio %.3f–%.3f (%zu pairs)", low, high, row.ours.seconds.size());
    // The client's own processor time shows the cost with less of the machine's noise than wall time.
    row.target = ratioAtMost(open ? 1.03 : 1.01, 3, [](const Row& judged) {
        const auto [from, to] = ratioInterval(judged);
        return formatted(" (95%% interval %.3f–%.3f, %zu pairs; processor time %.3f)", from, to,
                         judged.ours.seconds.size(),
                         ratioOf(judged.ours.cpuSeconds, judged.reference.cpuSeconds));
    });
    return row;
}

std::vector<std::string> clientArgs(const Context& context, const Server& server, const std::string& mode) {
    std::vector<std::string> args = {context.client, mode, "--url", server.url};
    if (server.auth != "none") args.insert(args.end(), {"--user", kUser, "--password", kPassword});
    return args;
}

std::vector<std::string> curlArgs(const Server& server) {
    std::vector<std::string> args = {"curl", "-sS", "--noproxy", "*"};
    // The client answers whatever challenge the server makes; so does curl with --anyauth.
    if (server.auth != "none") args.insert(args.end(), {"--anyauth", "-u", kUser + ":" + kPassword});
    return args;
}

Sample fromProcess(const Finished& finished, const std::string& what) {
    require(finished.exitCode == 0, what + " failed (exit " + std::to_string(finished.exitCode) +
                                        "): " + finished.err.substr(0, 2000));
    Sample sample{finished.seconds, finished.peakKib, finished.cpuSeconds, {}};
    for (const auto& [key, values] : parseReport(finished.out)) sample.values[key] = values.back();
    return sample;
}

long asLong(const Sample& sample, const std::string& key) {
    const auto found = sample.values.find(key);
    require(found != sample.values.end(), "no " + key + " reported");
    return std::stol(found->second);
}

std::string countsOf(const std::vector<std::string>& values) {
    std::set<std::string> distinct(values.begin(), values.end());
    std::string text;
    for (const std::string& value : distinct) text += (text.empty() ? "" : "/") + value;
    return text;
}

}  // namespace ostrel::bench
