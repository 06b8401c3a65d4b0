#include "support/DavServer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace ostrel::test {

namespace {

std::string valueOf(const std::string& output, const std::string& key) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
    }
    throw std::runtime_error("dav-server printed no " + key + "= line:\n" + output);
}

}  // namespace

std::string shellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string runCommand(const std::string& command) {
    struct PipeClose {
        void operator()(FILE* pipe) const noexcept { ::pclose(pipe); }
    };
    FILE* raw = ::popen((command + " 2>&1").c_str(), "r");
    if (!raw) throw std::runtime_error("cannot run: " + command);
    std::unique_ptr<FILE, PipeClose> pipe(raw);
    std::string output;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
        output.append(buffer.data(), got);
    const int status = ::pclose(pipe.release());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("command failed: " + command + "\n" + output);
    }
    return output;
}

namespace {
// Servers list a collection in the order their file system reads the folder. On tmpfs that order is one the
// seeding can arrange (xbrl before administration, as the root listing needs); on ext4 it is a hash order.
std::filesystem::path serverParentFolder() {
    const std::filesystem::path shm = "/dev/shm";
    return ::access(shm.c_str(), W_OK | X_OK) == 0 ? shm : std::filesystem::temp_directory_path();
}
}  // namespace

DavServer::DavServer(Options options) : options_(std::move(options)), dir_(options_.folder) {
    if (dir_.empty()) {
        std::string pattern = (serverParentFolder() / "ostrel-dav-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder for the DAV server");
        dir_ = pattern;
        ownsFolder_ = true;
    }
    start();
}

DavServer::~DavServer() {
    try {
        stop();
        if (ownsFolder_) std::filesystem::remove_all(dir_);
    } catch (...) {
        // A failing clean-up must not hide the test's own result.
    }
}

std::string DavServer::run(const std::string& arguments) const {
    return runCommand("OSTREL_SEED=" + shellQuote(OSTREL_SEED_PROGRAM) + " " +
                      shellQuote(std::string(OSTREL_SOURCE_DIR) + "/scripts/dav-server") + " " + arguments);
}

void DavServer::start() {
    // The seeder built with this program, and a watchdog that stops the server when this process ends.
    std::string arguments = "start --dir " + shellQuote(dir_) + " --port " + std::to_string(port_) +
                            " --watch " + std::to_string(::getpid()) + " --server " +
                            shellQuote(options_.server) + " --auth " + shellQuote(options_.auth) +
                            " --user " + shellQuote(options_.user) + " --password " +
                            shellQuote(options_.password);
    if (options_.stock) arguments += " --stock";
    if (options_.seed && port_ == 0) arguments += " --seed";
    if (!options_.tlsCertificate.empty()) {
        arguments += " --tls " + shellQuote(options_.tlsCertificate) + " " + shellQuote(options_.tlsKey);
    }
    const std::string output = run(arguments);
    url_ = valueOf(output, "url");
    log_ = valueOf(output, "log");
    port_ = std::stoi(valueOf(output, "port"));
    pid_ = std::stoi(valueOf(output, "pid"));
    running_ = true;
}

void DavServer::stop() {
    if (!running_) return;
    run("stop --dir " + shellQuote(dir_));
    running_ = false;
}

void makeSelfSignedCertificate(const std::string& folder) {
    runCommand("cd " + shellQuote(folder) +
               " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2"
               " -subj /CN=127.0.0.1/O=Ostrel\\ Test -addext subjectAltName=IP:127.0.0.1"
               " -keyout server.key -out server.pem 2>openssl.log && chmod 644 server.key");
}

}  // namespace ostrel::test
