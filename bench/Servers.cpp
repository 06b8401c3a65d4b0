#include "Servers.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "Data.h"
#include "Measuring.h"
#include "Process.h"
#include "Support.h"
#include "platform/Error.h"
#include "platform/HttpRequest.h"

namespace ostrel::bench {

namespace fs = std::filesystem;

const Server& Servers::start(const std::string& auth, const std::string& dir) {
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    const test::DavServer& dav = running_.emplace_back(test::DavServer::Options{
        .auth = auth, .user = kUser, .password = kPassword, .seed = false, .folder = dir});
    return servers_.emplace_back(Server{auth, dir, dav.url(), dav.port()});
}

namespace {

struct Owner {
    bool change = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Apache runs as www-data when started by root, and must own what it serves to store properties beside it.
Owner serverOwner() {
    Owner owner;
    if (::geteuid() != 0) return owner;
    if (const passwd* entry = ::getpwnam("www-data")) owner = {true, entry->pw_uid, entry->pw_gid};
    return owner;
}

void giveToServer(const std::string& path, const Owner& owner) {
    if (owner.change && ::lchown(path.c_str(), owner.uid, owner.gid) != 0)
        throw std::runtime_error("cannot chown " + path + ": " + std::strerror(errno));
}

void makeServedFolder(const std::string& path, const Owner& owner) {
    fs::create_directories(path);
    giveToServer(path, owner);
}

void writeServedFile(const std::string& path, const std::string& content, const Owner& owner) {
    writeText(path, content);
    giveToServer(path, owner);
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos;
         at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::string proppatchBody(const std::string& name) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:propertyupdate xmlns:D=\"DAV:\"><D:set><D:prop>"
           "<D:displayname>" +
           name + "</D:displayname></D:prop></D:set></D:propertyupdate>";
}

void setDisplayName(HttpRequest& request, const Server& server, const std::string& resource,
                    const std::string& name) {
    const std::string body = proppatchBody(name);
    request.open("PROPPATCH", server.url + "/" + resource, false, server.user(), server.password());
    request.setRequestHeader("Content-Type", "text/xml");
    request.send(body);
    // A 207 carries a status per property: the one property must have been set.
    const std::string_view reply = request.responseBody();
    const std::size_t statuses = occurrences(reply, "HTTP/1.1 ");
    require(request.status() == 207 && statuses == 1 && occurrences(reply, "HTTP/1.1 200") == 1,
            "PROPPATCH " + resource + " answered " + std::to_string(request.status()) + ": " +
                std::string(reply));
}

// A collection of members documents, each with its file name as display name (set by PROPPATCH, so that the
// server keeps it in its own property store), the collection named "/docsN" as the seeded tree names
// collections below the top. Two connections share the PROPPATCH work.
void makeCollection(const Server& server, const std::string& name, long members, const Owner& owner) {
    const std::string folder = server.dav() + "/bench/" + name;
    makeServedFolder(folder, owner);
    for (long i = 0; i < members; ++i)
        writeServedFile(folder + "/" + data::memberName(i), data::memberDocument(i), owner);
    HttpRequest request;
    setDisplayName(request, server, "bench/" + name, "/" + name);
    constexpr long kConnections = 2;
    std::vector<std::string> failures(kConnections);
    std::vector<std::thread> workers;
    for (long first = 0; first < kConnections; ++first) {
        workers.emplace_back([&, first] {
            try {
                HttpRequest own;
                for (long i = first; i < members; i += kConnections) {
                    setDisplayName(own, server, "bench/" + name + "/" + data::memberName(i),
                                   data::memberName(i));
                }
            } catch (const Error& error) {
                failures[static_cast<std::size_t>(first)] = error.description();
            } catch (const std::exception& error) {
                failures[static_cast<std::size_t>(first)] = error.what();
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (const std::string& failure : failures) require(failure.empty(), failure);
}

bool done(const Server& server, const std::string& step) {
    return fs::exists(server.dir + "/generated." + step);
}
void markDone(const Server& server, const std::string& step) {
    writeText(server.dir + "/generated." + step, "");
}

}  // namespace

std::string collectionName(long members) {
    return "docs" + std::to_string(members);
}

Dataset makeData(const Server& server, const Options& options, const std::vector<long>& members,
                 const Server* source) {
    const Owner owner = serverOwner();
    Dataset dataset;
    const std::string bench = server.dav() + "/bench";
    makeServedFolder(bench, owner);
    const std::string bigStep = "big-" + std::to_string(options.documentKib);
    auto copyFromSource = [&](const std::string& relative) {
        fs::remove_all(bench + "/" + relative);
        const Finished copied =
            runProgram({"cp", "-a", source->dav() + "/bench/" + relative, bench + "/"}, server.dir + "/tmp");
        require(copied.exitCode == 0, "cp failed: " + copied.err);
    };
    if (!done(server, "small")) {
        if (source) {
            copyFromSource("small");
        } else {
            makeServedFolder(bench + "/small", owner);
            writeServedFile(server.dav() + "/" + dataset.smallDocument, data::instance(2048), owner);
        }
        markDone(server, "small");
    }
    if (!done(server, bigStep)) {
        if (source) {
            copyFromSource("big");
        } else {
            makeServedFolder(bench + "/big", owner);
            const std::size_t bytes = static_cast<std::size_t>(options.documentKib) * 1024;
            writeServedFile(server.dav() + "/" + dataset.multistatusDocument, data::multistatus(bytes),
                            owner);
            writeServedFile(server.dav() + "/" + dataset.instanceDocument, data::instance(bytes), owner);
        }
        markDone(server, bigStep);
    }
    for (const long count : members) {
        const std::string name = collectionName(count);
        if (done(server, name)) continue;
        const Clock::time_point start = Clock::now();
        if (source) {
            copyFromSource(name);
        } else {
            fs::remove_all(bench + "/" + name);
            makeCollection(server, name, count, owner);
        }
        markDone(server, name);
        std::fprintf(stderr, "  %s on the %s server: %.1f s\n", name.c_str(), server.auth.c_str(),
                     secondsBetween(start, Clock::now()));
    }
    dataset.smallBytes = fs::file_size(server.dav() + "/" + dataset.smallDocument);
    dataset.multistatusBytes = fs::file_size(server.dav() + "/" + dataset.multistatusDocument);
    dataset.instanceBytes = fs::file_size(server.dav() + "/" + dataset.instanceDocument);
    return dataset;
}

}  // namespace ostrel::bench
