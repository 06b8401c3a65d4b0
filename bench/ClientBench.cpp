// The client's side of workloads 1 to 3, one workload per run: the runner times the whole process and reads
// its peak memory exactly as it does for the curl and xmllint processes it compares against.
//
//   ostrel-bench-client get   --url U [--user --password] --resource R --count N --root NAME
//   ostrel-bench-client names --url U [--user --password] --collection C
//   ostrel-bench-client list  --url U [--user --password] --collection C
//   ostrel-bench-client save  --url U [--user --password] --resource R --out FILE
//
// "--log closed" attaches a protocol log that keeps the last 1,000 exchanges, as the main window does before
// its log window is opened; "--log open", as it does once the window has been opened.
#include <cstdio>
#include <exception>
#include <string>

#include "Support.h"
#include "client/Listing.h"
#include "client/Replies.h"
#include "client/WebDAVClient.h"
#include "platform/Error.h"
#include "platform/ExchangeLog.h"

using namespace ostrel;
using namespace ostrel::bench;

namespace {

WebDAVClient connectedClient(const Args& args) {
    // The store the main window keeps its exchanges in.
    static ExchangeLog log(ExchangeLog::kKept);
    WebDAVClient client;
    if (args.has("log")) {
        if (args.get("log") == "open") log.watch();
        client.SetExchangeObserver(&log);
    }
    client.WebDAVURI(args.get("url"));
    client.UserId(args.get("user", ""));
    client.Password(args.get("password", ""));
    return client;
}

// Workload 1: the same small document fetched again and again over the one kept-alive connection.
int getMany(const Args& args) {
    WebDAVClient client = connectedClient(args);
    const std::string resource = args.get("resource");
    const std::string root = args.get("root");
    const long count = args.number("count", 2000);
    long good = 0;
    for (long i = 0; i < count; ++i) {
        const XmlDocument document = client.GetDocument(resource);
        if (document.documentElement().localName() == root) ++good;
    }
    report("documents", good);
    report("connections", client.ConnectionsOpened());
    return good == count ? 0 : 1;
}

// Workload 2: the display names of a collection and everything below it, as the listing reads them.
int names(const Args& args) {
    WebDAVClient client = connectedClient(args);
    XmlDocument reply = client.FindPropertyByName(args.get("collection"), "displayname");
    const std::vector<std::string> names = replies::displayNames(reply);
    long documents = 0;
    for (const std::string& name : names) {
        if (name.ends_with(".xml")) ++documents;
    }
    report("names", static_cast<long>(names.size()));
    report("documents", documents);
    report("connections", client.ConnectionsOpened());
    return 0;
}

// Workload 2, as "Get resources" asks since it lists one level: the members of a collection by their display
// names or hrefs and their resource types.
int list(const Args& args) {
    WebDAVClient client = connectedClient(args);
    const std::vector<CollectionMember> members = listCollection(client, args.get("collection"));
    long documents = 0;
    for (const CollectionMember& member : members) {
        if (!member.collection && member.name.ends_with(".xml")) ++documents;
    }
    report("members", static_cast<long>(members.size()));
    report("documents", documents);
    report("connections", client.ConnectionsOpened());
    return 0;
}

// Workload 3: a large document fetched and written as the result file, as "Get document" does before the
// viewer opens it.
int save(const Args& args) {
    WebDAVClient client = connectedClient(args);
    const XmlDocument document = client.GetDocument(args.get("resource"));
    if (!document.hasChildNodes()) {
        std::fprintf(stderr, "the document did not parse\n");
        return 1;
    }
    document.save(args.get("out"));
    report("connections", client.ConnectionsOpened());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return runMeasured([&] {
        const Args args(argc, argv);
        if (args.mode() == "get") return getMany(args);
        if (args.mode() == "names") return names(args);
        if (args.mode() == "list") return list(args);
        if (args.mode() == "save") return save(args);
        std::fprintf(stderr, "usage: ostrel-bench-client get|names|list|save --url URL ...\n");
        return 2;
    });
}
