#include "Process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Support.h"

namespace ostrel::bench {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

Finished runProgram(const std::vector<std::string>& argv, const std::string& scratch,
                    const std::vector<std::string>& extraEnvironment) {
    const std::string outPath = scratch + "/stdout.txt";
    const std::string errPath = scratch + "/stderr.txt";
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    Finished finished;
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (const std::string& entry : extraEnvironment) ::putenv(const_cast<char*>(entry.c_str()));
        ::execvp(args[0], args.data());
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
    }
    finished.seconds = secondsBetween(start, Clock::now());
    // For a child that waited for its own children, these cover them too.
    finished.peakKib = usage.ru_maxrss;
    finished.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    finished.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    finished.out = readText(outPath);
    finished.err = readText(errPath);
    return finished;
}

Finished measureProgram(const std::vector<std::string>& argv, const std::string& scratch,
                        const std::vector<std::string>& extraEnvironment) {
    // time itself was started from this process, so its own peak is as inflated as any child's: the program's
    // peak is the one time reports. Processor time is wait4's, which covers the program time waited for.
    const std::string peakFile = scratch + "/peak.txt";
    std::vector<std::string> launched = {"/usr/bin/time", "-f", "%M", "-o", peakFile};
    launched.insert(launched.end(), argv.begin(), argv.end());
    ::unlink(peakFile.c_str());
    Finished finished = runProgram(launched, scratch, extraEnvironment);
    // The last line holds the figure; a line before it says so when the program was killed by a signal.
    const std::string report = readText(peakFile);
    const std::size_t end = report.find_last_not_of('\n');
    const std::size_t start = end == std::string::npos ? 0 : report.find_last_of('\n', end) + 1;
    std::istringstream figure(report.substr(start));
    if (!(figure >> finished.peakKib)) {
        throw std::runtime_error("/usr/bin/time reported no peak memory for " + argv.front() + ": " + report);
    }
    return finished;
}

}  // namespace ostrel::bench
