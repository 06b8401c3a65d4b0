#include "Support.h"

#include "platform/Error.h"

#include <sys/resource.h>

#include <cstdio>
#include <stdexcept>

namespace ostrel::bench {

Args::Args(int argc, char** argv) {
    int first = 1;
    if (argc > 1 && !std::string_view(argv[1]).starts_with("--")) mode_ = argv[first++];
    for (int i = first; i < argc; ++i) {
        const std::string name = argv[i];
        if (!name.starts_with("--")) throw std::runtime_error("unexpected argument: " + name);
        if (i + 1 >= argc) throw std::runtime_error(name + " needs a value");
        values_[name.substr(2)] = argv[++i];
    }
}

std::string Args::get(const std::string& name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) throw std::runtime_error("--" + name + " is required");
    return found->second;
}

std::string Args::get(const std::string& name, const std::string& fallback) const {
    const auto found = values_.find(name);
    return found == values_.end() ? fallback : found->second;
}

long Args::number(const std::string& name, long fallback) const {
    const auto found = values_.find(name);
    if (found == values_.end()) return fallback;
    std::size_t used = 0;
    const long value = std::stol(found->second, &used);
    if (used != found->second.size()) throw std::runtime_error("--" + name + " is not a number");
    return value;
}

long peakResidentKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void report(std::string_view key, std::string_view value) {
    std::printf("%.*s=%.*s\n", static_cast<int>(key.size()), key.data(), static_cast<int>(value.size()),
                value.data());
    std::fflush(stdout);
}

void report(std::string_view key, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    report(key, std::string_view(text));
}

void report(std::string_view key, long value) {
    report(key, std::string_view(std::to_string(value)));
}

std::map<std::string, std::vector<std::string>> parseReport(std::string_view output) {
    std::map<std::string, std::vector<std::string>> values;
    while (!output.empty()) {
        const std::size_t end = output.find('\n');
        const std::string_view line = output.substr(0, end);
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        values[std::string(line.substr(0, eq))].emplace_back(line.substr(eq + 1));
    }
    return values;
}

int runMeasured(const std::function<int()>& work) {
    try {
        const int status = work();
        report("peak_kib", peakResidentKib());
        return status;
    } catch (const ostrel::Error& error) {
        std::fprintf(stderr, "%s: %s\n", error.source().c_str(), error.description().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    return 1;
}

}  // namespace ostrel::bench
