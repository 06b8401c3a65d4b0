#pragma once

#include <string>

namespace ostrel::test {

// A real WebDAV server (Apache httpd with mod_dav, or lighttpd with mod_webdav) on 127.0.0.1, started
// through the project's own scripts in a fresh folder, seeded with the sample tree, stopped on destruction.
class DavServer {
public:
    struct Options {
        std::string server = "apache";  // or "lighttpd"
        std::string auth = "none";      // "basic", "digest"
        std::string user = "demo";
        std::string password = "demo";
        bool seed = true;
        std::string tlsCertificate;  // with tlsKey: serve https
        std::string tlsKey;
        // Serve from this folder, which the caller made and removes; empty: a fresh folder of the server's
        // own, removed when it goes.
        std::string folder;
        bool stock = false;  // the server's own defaults: listings of unlimited depth refused; never seeded
    };

    explicit DavServer(Options options);
    DavServer() : DavServer(Options{}) {}
    ~DavServer();
    DavServer(const DavServer&) = delete;
    DavServer& operator=(const DavServer&) = delete;

    // Base URI of the DAV collection, e.g. http://127.0.0.1:4711/ostrelwebdavserver
    const std::string& url() const { return url_; }
    int port() const { return port_; }
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
