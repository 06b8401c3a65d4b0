#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <vector>

#include "Options.h"
#include "tests/support/DavServer.h"

// The Apache WebDAV servers the runner measures against, and the data it makes in their folders.
namespace ostrel::bench {

inline const std::string kUser = "demo";
inline const std::string kPassword = "demo";

struct Server {
    std::string auth;
    std::string dir;
    std::string url;  // http://127.0.0.1:PORT/ostrelwebdavserver
    int port = 0;

    std::string user() const { return auth == "none" ? "" : kUser; }
    std::string password() const { return auth == "none" ? "" : kPassword; }
    std::string dav() const { return dir + "/dav"; }
};

// Starts the servers and stops every one it started when it goes, whatever happened in between. It owns
// them, so they cannot go before it does.
class Servers {
public:
    const Server& start(const std::string& auth, const std::string& dir);

private:
    // Lists keep their elements in place, so the references handed out stay valid.
    std::list<test::DavServer> running_;
    std::list<Server> servers_;
};

struct Dataset {
    std::string smallDocument = "bench/small/doc.xml";
    std::string multistatusDocument = "bench/big/multistatus.xml";
    std::string instanceDocument = "bench/big/instance.xml";
    std::size_t multistatusBytes = 0;
    std::size_t instanceBytes = 0;
    std::size_t smallBytes = 0;
};

// The collection of that many generated documents ("docs2000").
std::string collectionName(long members);

// Writes the documents and collections into the served folder of server, or copies them from the source
// server's. What an earlier run left in a work folder given with --work is used as it is.
Dataset makeData(const Server& server, const Options& options, const std::vector<long>& members,
                 const Server* source);

}  // namespace ostrel::bench
