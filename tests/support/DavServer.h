#pragma once

#include <array>
#include <string>

namespace ostrel::test {

// The six server profiles scripts/dav-server starts, for tests that run on each: Apache as the demo has it
// (listings of unlimited depth allowed, display names seeded), Apache and lighttpd as their packages
// configure WebDAV, nginx with dav-ext, rclone's WebDAV server, and the npm webdav-server on Node.
// ("lighttpd", configured like the demo's Apache, is a seventh that the older scenarios use.)
inline constexpr std::array<const char*, 6> kServerProfiles = {"apache", "apache-stock", "lighttpd-stock",
                                                               "nginx",  "rclone",       "webdav-server"};

// A real WebDAV server on 127.0.0.1, started through the project's own scripts in a fresh folder, seeded with
// the sample tree, stopped on destruction, and stopped by a watchdog when this process ends without doing so
// (killed, timed out).
class DavServer {
public:
    struct Options {
        std::string server = "apache";  // a profile of kServerProfiles, or "lighttpd"
        std::string auth = "none";      // "basic", "digest"
        std::string user = "demo";
        std::string password = "demo";
        bool seed = true;
        std::string tlsCertificate;  // with tlsKey: serve https
        std::string tlsKey;
        // Serve from this folder, which the caller made and removes; empty: a fresh folder of the server's
        // own, removed when it goes.
        std::string folder;
        bool stock = false;  // "apache" and "lighttpd" as "apache-stock" and "lighttpd-stock"
    };

    explicit DavServer(Options options);
    DavServer() : DavServer(Options{}) {}
    ~DavServer();
    DavServer(const DavServer&) = delete;
    DavServer& operator=(const DavServer&) = delete;

    // Base URI of the DAV collection, e.g. http://127.0.0.1:4711/ostrelwebdavserver
    const std::string& url() const { return url_; }
    int port() const { return port_; }
    // The server's main process, leader of a session of its own that holds all its processes.
    int pid() const { return pid_; }
    const std::string& folder() const { return dir_; }
    const std::string& logPath() const { return log_; }
    const Options& options() const { return options_; }

    void stop();
    // Starts again on the same port and folder, keeping the stored tree.
    void start();

private:
    std::string run(const std::string& arguments) const;

    Options options_;
    std::string dir_;
    std::string url_;
    std::string log_;
    int port_ = 0;
    int pid_ = 0;
    bool running_ = false;
    bool ownsFolder_ = false;
};

// Writes a fresh self-signed certificate for 127.0.0.1 (server.pem) and its key (server.key) into folder,
// replacing any there.
void makeSelfSignedCertificate(const std::string& folder);
// Runs a shell command and returns its standard output; raises std::runtime_error with the output when the
// command fails.
std::string runCommand(const std::string& command);
// Quotes a word for the shell.
std::string shellQuote(const std::string& word);

}  // namespace ostrel::test
