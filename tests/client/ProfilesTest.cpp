// Every command of the main window and the client's Copy, Move and MakeCollection, on each of the six server
// profiles, as one table: what the user gets, the server's own faults included. Then the walk a user makes
// from an empty field with "Get resources" and picks, which must reach every document of the seeded tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "client/Listing.h"
#include "support/Scenario.h"
#include "ui/Browsing.h"

namespace ostrel {
namespace {

using test::errorOf;

class Profiles : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        dav = std::make_unique<test::DavServer>(test::DavServer::Options{.server = GetParam(), .auth = "basic"});
        client = test::loggedOnClient(*dav);
    }
    std::string profile() const { return GetParam(); }

    // What a command ends in: "ok", or the error's source and first line.
    static std::string outcome(const std::function<void()>& command) {
        const std::string error = errorOf(command);
        return error == "no error" ? "ok" : error.substr(0, error.find('\r'));
    }

    std::unique_ptr<test::DavServer> dav;
    WebDAVClient client;
};

// The documents a user reaches from an empty field, listing each collection and picking each entry.
std::set<std::string> walk(WebDAVClient& client, const std::string& field, int depth) {
    std::set<std::string> reached;
    if (depth > 3) return reached;
    for (const std::string& entry : browsing::listing(field, listCollection(client, field))) {
        const std::string picked = browsing::pick(field, "", entry).field;
        if (entry.find(".xml") != std::string::npos) {
            if (client.GetDocument(picked).hasChildNodes()) reached.insert(picked);
        } else {
            reached.merge(walk(client, picked, depth + 1));
        }
    }
    return reached;
}

TEST_P(Profiles, EveryDocumentIsReachedFromAnEmptyFieldAndAStoredOneIsListed) {
    client.UpdateDocument("xbrl/other/Stored 2.xml", "<s/>");
    const std::set<std::string> expected = {
        "xbrl/config/Document_1.xml", "xbrl/config/Document_2.xml", "xbrl/other/Document_3.xml",
        "xbrl/other/Document_4.xml",  "xbrl/other/Margin 12%.xml",  "xbrl/other/Note #7.xml",
        "xbrl/other/Report Q1.xml",   "xbrl/other/Report%20Q1.xml", "xbrl/other/R\xC3\xA9sultat.xml",
        "xbrl/other/Stored 2.xml"};
    EXPECT_EQ(walk(client, "", 0), expected);
}

TEST_P(Profiles, EveryCommandEndsAsTheServerAllows) {
    const std::string doc = "xbrl/other/Document_3.xml";
    // Outcomes that differ from "ok", by profile: the server's own faults, said plainly.
    const std::map<std::string, std::map<std::string, std::string>> faults = {
        // nginx has no PROPPATCH: 405 with an error page.
        {"nginx", {{"PropertyUpdate", "PropertyUpdate | Failed to load response"}}},
        {"rclone",
         {{"PropertyUpdate", "PropertyUpdate | The server did not set displayname (403 Forbidden)"},
          {"OpaqueToken", "OpaqueToken | no locks reported"}}},
        // webdav-server 2.6 lets the lock's owner write without the token, and dies of an untagged If header (a
        // TypeError in its parser): the store under the lock finds no server any more, nor does anything after.
        {"webdav-server",
         {{"PropertyUpdate", "PropertyUpdate | The server did not set displayname (403 Forbidden)"},
          {"Another's store while locked", "ok"},
          {"Update document", "HttpRequest | Could not connect to the server"},
          {"Unlock", "HttpRequest | Could not connect to the server"}}},
    };
    const std::vector<std::pair<std::string, std::function<void()>>> commands = {
        {"Get document", [&] { client.GetDocument(doc); }},
        {"Property names", [&] { client.GetAllPropertyNames(doc); }},
        {"All properties", [&] { client.GetAllProperties("xbrl"); }},
        {"MakeCollection", [&] { client.MakeCollection("xbrl/made"); }},
        {"Copy", [&] { client.CopyResource("xbrl/config", "xbrl/made/config"); }},
        {"Move", [&] { client.MoveResource("xbrl/made/config/Document_1.xml", "xbrl/made/moved.xml", false); }},
        {"PropertyUpdate", [&] { client.PropertyUpdate(doc, "displayname", "Third"); }},
        {"Delete document", [&] { client.DeleteDocument("xbrl/made/moved.xml"); }},
        // Two users: a change made meanwhile is found before the store, and a new document never replaces one.
        {"Store over a change made meanwhile",
         [&] {
             WebDAVClient other = test::loggedOnClient(*dav);
             client.GetDocument(doc);
             const std::string fetched = client.FetchedETag(doc);
             other.UpdateDocument(doc, "<v>theirs</v>");
             using Kind = WebDAVClient::StoreExpectation::Kind;
             if (client.StoreDocument(doc, "<v>mine</v>", "", {Kind::Unchanged, fetched}).conflict !=
                     WebDAVClient::StoreConflict::Changed ||
                 client.StoreDocument(doc, "<v>new</v>", "", {Kind::Absent, ""}).conflict !=
                     WebDAVClient::StoreConflict::Exists)
                 throw Error(0, "StoreDocument", "overwritten");
         }},
        {"Wrong password", [&] {
             WebDAVClient stranger = test::loggedOnClient(*dav);
             stranger.Password("wrong");
             stranger.GetAllPropertyNames("xbrl");
         }},
        {"Lock", [&] { client.LockResource(doc); }},
        {"Another's store while locked", [&] { test::loggedOnClient(*dav).UpdateDocument(doc, "<v>x</v>"); }},
        {"OpaqueToken",
         [&] {
             XmlDocument reply = client.FindPropertyByName(doc, "lockdiscovery");
             if (!replies::reportsLockDiscovery(reply)) throw Error(0, "OpaqueToken", "no locks reported");
             if (!replies::firstLockToken(reply)) throw Error(0, "OpaqueToken", "not locked");
         }},
        // Last: webdav-server dies of the untagged If header that carries the token.
        {"Update document", [&] { client.UpdateDocument(doc, "<v>locked</v>", client.opaquetoken()); }},
        {"Unlock", [&] { client.UnlockResource(doc); }},
    };
    // What every server answers where it is not "ok".
    const std::map<std::string, std::string> refusals = {
        {"Wrong password", "FindProperty | Failed to load response"},
        {"Another's store while locked", "Resource has been locked"}};
    const auto own = faults.find(profile());
    for (const auto& [command, run] : commands) {
        std::string expected = refusals.count(command) ? refusals.at(command) : "ok";
        if (own != faults.end() && own->second.count(command)) expected = own->second.at(command);
        const std::string got = outcome(run);
        EXPECT_NE(got.find(expected), std::string::npos) << command << ": " << got;
    }
    if (profile() == "webdav-server") return;
    EXPECT_EQ(client.GetDocument(doc).text(), "locked");
    EXPECT_EQ(client.GetDocument("xbrl/made/config/Document_2.xml").documentElement().nodeName(),
              "reportingConfiguration");
}

INSTANTIATE_TEST_SUITE_P(, Profiles, ::testing::ValuesIn(test::kServerProfiles), [](const auto& test) {
    std::string name = test.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

}  // namespace
}  // namespace ostrel
