// The client's requests and error rules, checked byte for byte against a scripted server.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "client/Listing.h"
#include "support/Scenario.h"
#include "support/ScriptedServer.h"

namespace ostrel {
namespace {

using test::errorOf;
using test::RecordedRequest;
using test::Reply;
using test::ScriptedServer;

// A granted lock as lighttpd words it: the token's href first, the lock root's after it.
const std::string kLockReply =
    "<?xml version='1.0'?>\n<D:prop xmlns:D='DAV:'>\n <D:lockdiscovery>\n  <D:activelock>\n"
    "   <D:locktoken>\n    <D:href>t:lock</D:href>\n   </D:locktoken>\n"
    "   <D:lockroot><D:href>/dav/a.xml</D:href></D:lockroot>\n  </D:activelock>\n </D:lockdiscovery>\n"
    "</D:prop>\n";

class Wire : public ::testing::Test {
protected:
    void SetUp() override { client.WebDAVURI(server.baseUrl() + "/dav"); }

    ScriptedServer server;
    WebDAVClient client;
};

// The WebDAV headers of a request, in the order they went out.
std::string davHeaders(const RecordedRequest& request) {
    std::string out;
    for (const auto& [name, value] : request.headers) {
        for (const char* dav : {"Content-Type", "Content-Length", "If", "If-Match", "If-None-Match",
                                "Destination", "Overwrite", "Lock-Token", "Depth", "Timeout"}) {
            if (name == dav) out += (out.empty() ? "" : "\n") + name + ": " + value;
        }
    }
    return out;
}

std::string xmlBody(const std::string& body) {
    return "Content-Type: text/xml\nContent-Length: " + std::to_string(body.size());
}

TEST_F(Wire, EachOperationSendsItsMethodHeadersAndBody) {
    const std::string lockBody =
        "<?xml version='1.0' encoding='utf-8' ?><lockinfo xmlns='DAV:'><lockscope><exclusive/></lockscope>"
        "<locktype><write/></locktype></lockinfo>";
    const std::string propname = "<?xml version='1.0'?><propfind xmlns='DAV:'><propname/></propfind>";
    const std::string allprop = "<?xml version='1.0'?><propfind xmlns='DAV:'><allprop/></propfind>";
    const std::string displayname =
        "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><display name\t/></prop></propfind>";
    const std::string setP =
        "<?xml version='1.0'?><propertyupdate xmlns='DAV:' "
        "><set><prop><p>v</p></prop></set></propertyupdate>";
    const std::string setX =
        "<?xml version='1.0'?><propertyupdate xmlns='DAV:' xmlns:x='urn:x'><set><prop>< x:nxmlns:x='urn:x' >"
        "<b>\xC3\xA9xmlns:x='urn:x'</b></ x:nxmlns:x='urn:x' ></prop></set></propertyupdate>";
    const std::string text = "<doc>\xC3\xA9t\xC3\xA9</doc>";  // 14 characters, 16 octets
    const std::string get = "Content-Type: text/xml\nContent-Length: 0";
    const std::string base = server.baseUrl();
    const auto transfer = [](const std::string& to) {
        return "Destination: " + to + "\nOverwrite: F\nContent-Length: 0";
    };
    const auto unlock = [](const std::string& token) {
        return "Content-Type: text/xml\nLock-Token: " + token + "\nContent-Length: 0";
    };
    struct Case {
        std::function<void()> operation;
        std::string requestLine, headers, body;
    };
    const std::vector<Case> cases = {
        {[&] { client.GetDocument("xbrl/a.xml"); }, "GET /dav/xbrl/a.xml", get, ""},
        {[&] { client.LockResource("a.xml"); }, "LOCK /dav/a.xml", xmlBody(lockBody), lockBody},
        {[&] { client.UnlockResource("a.xml"); }, "UNLOCK /dav/a.xml", unlock("<t:lock>"), ""},
        // "?" is part of a name, never the start of a query.
        {[&] { client.GetDocument("report?v=2.xml"); }, "GET /dav/report%3Fv=2.xml", get, ""},
        {[&] { client.UpdateDocument("report?v=2.xml", text, "<t:a>"); }, "PUT /dav/report%3Fv=2.xml",
         "Content-Type: text/xml\nContent-Length: 16\nIf: (<t:a>)", text},
        {[&] { client.UpdateDocument("empty.xml.old", ""); }, "PUT /dav/empty.xml.old", get, ""},
        {[&] { client.DeleteDocument("old.xml"); }, "DELETE /dav/old.xml", get, ""},
        {[&] { client.DeleteDocument("old.xml", "<t:d>"); }, "DELETE /dav/old.xml", get + "\nIf: (<t:d>)",
         ""},
        // A collection's URL ends in "/", its Destination's too; "%" in a name is a character.
        {[&] { client.MakeCollection("x/new"); }, "MKCOL /dav/x/new/", "Content-Length: 0", ""},
        {[&] { client.MakeCollection("x/b/", "<mkcol/>"); }, "MKCOL /dav/x/b/", xmlBody("<mkcol/>"),
         "<mkcol/>"},
        {[&] { client.MoveResource("x/c", "x/d", false); }, "MOVE /dav/x/c/", transfer(base + "/dav/x/d/"),
         ""},
        {[&] { client.GetDocument("Report%20Q1.xml"); }, "GET /dav/Report%2520Q1.xml", get, ""},
        {[&] { client.CopyResource("a.xml", "50% off #1?caf\xC3\xA9.xml"); }, "COPY /dav/a.xml",
         transfer(base + "/dav/50%25%20off%20%231%3Fcaf%C3%A9.xml"), ""},
        {[&] { client.CopyResource(base + "/other/a.xml", "http://127.0.0.1/WebDAV Folder/"); },
         "COPY /other/a.xml", transfer("http://127.0.0.1/WebDAV%20Folder/"), ""},
        // Only "http://" makes a source absolute; any "://" makes a destination absolute.
        {[&] { client.CopyResource("https://h/a.xml", "https://h/b%20c.xml"); }, "COPY /dav/https://h/a.xml",
         transfer("https://h/b%20c.xml"), ""},
        {[&] { client.MoveResource("a.xml", "c.xml", false); }, "MOVE /dav/a.xml",
         transfer(base + "/dav/c.xml"), ""},
        {[&] { client.MoveResource("a.xml", "c.xml", true); }, "COPY /dav/a.xml",
         transfer(base + "/dav/c.xml"), ""},
        {[&] { client.GetAllPropertyNames("x"); }, "PROPFIND /dav/x", xmlBody(propname), propname},
        {[&] { client.GetAllProperties("x/a.xml"); }, "PROPFIND /dav/x/a.xml", xmlBody(allprop), allprop},
        {[&] { client.FindPropertyByName("", "  display name\t "); }, "PROPFIND /dav/", xmlBody(displayname),
         displayname},
        {[&] { client.PropertyFind("", "q"); }, "PROPFIND /dav/q", get, ""},
        {[&] { client.PropertyUpdate("a.xml", "p", "v"); }, "PROPPATCH /dav/a.xml", xmlBody(setP), setP},
        // Each placeholder is replaced in the result of the one before.
        {[&] { client.PropertyUpdate("a.xml", " x:n$ns ", "<b>\xC3\xA9$ns</b>", "xmlns:x='urn:x'"); },
         "PROPPATCH /dav/a.xml", xmlBody(setX), setX},
        // The kept token is the last one given or taken; unlocking never clears it.
        {[&] { client.UnlockResource("a.xml", "<t:g>"); }, "UNLOCK /dav/a.xml", unlock("<t:g>"), ""},
        {[&] { client.UnlockResource("a.xml"); }, "UNLOCK /dav/a.xml", unlock("<t:d>"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requestLine);
        server.enqueue(c.requestLine.starts_with("UNLOCK")
                           ? Reply::http(204, "No Content")
                           : Reply::http(200, "OK", kLockReply, {{"Content-Type", "text/xml"}}));
        c.operation();
        const RecordedRequest sent = server.requests().back();
        EXPECT_EQ(sent.requestLine, c.requestLine + " HTTP/1.1");
        EXPECT_EQ(davHeaders(sent), c.headers);
        EXPECT_EQ(sent.body, c.body);
    }
}

// A store that must not overwrite asks the server what it holds first, sends only when that is what the text
// was made from, and carries the condition for the moment in between.
TEST_F(Wire, StoresAskFirstAndCarryTheirCondition) {
    using Kind = WebDAVClient::StoreExpectation::Kind;
    using Conflict = WebDAVClient::StoreConflict;
    const auto tagged = [](int status, const std::string& etag) {
        return etag.empty() ? Reply::http(status, "R") : Reply::http(status, "R", "", {{"ETag", etag}});
    };
    const std::string getetag =
        "<D:multistatus xmlns:D='DAV:'><D:response><D:href>/dav/d.xml</D:href><D:propstat><D:prop>"
        "<D:getetag>\"p1\"</D:getetag></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
        "</D:response></D:multistatus>";
    const std::string put = "Content-Type: text/xml\nContent-Length: 4";
    const std::string propfind = "PROPFIND\nContent-Type: text/xml\nDepth: 0\nContent-Length: 78";
    // A weak validator is remembered with a digest of the octets fetched.
    server.enqueue(Reply::http(200, "OK", "<old/>", {{"ETag", "W/\"w\""}}));
    const std::string weak = client.FetchDocument("d.xml").etag;
    server.enqueue(Reply::http(200, "OK", "<old/>", {{"ETag", "\"s\""}}));
    const std::string strong = client.FetchDocument("d.xml").etag;
    // Changed within the second before the reply: nginx's ETag counts whole seconds.
    const std::string second = "Mon, 07 Dec 2026 19:00:00 GMT";
    const Reply justChanged =
        Reply::http(200, "R", "", {{"ETag", "\"s\""}, {"Last-Modified", second}, {"Date", second}});
    const auto body = [](const std::string& octets) { return Reply::http(200, "OK", octets); };
    struct Case {
        const char* what;
        Kind kind;
        std::string etag, token;
        std::vector<Reply> replies;
        // Each request's line and conditional headers, "|" between requests.
        std::string sent;
        Conflict conflict;
        std::string storedETag;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"new, absent", Kind::Absent, "", "", {tagged(404, ""), tagged(201, ""), tagged(200, "\"n\"")},
         "HEAD|PUT\n" + put + "\nIf-None-Match: *|HEAD", Conflict::None, "\"n\""},
        {"new, present", Kind::Absent, "", "", {tagged(200, "\"x\"")}, "HEAD", Conflict::Exists, ""},
        {"new, made meanwhile", Kind::Absent, "", "", {tagged(404, ""), tagged(412, "")},
         "HEAD|PUT\n" + put + "\nIf-None-Match: *", Conflict::Exists, ""},
        {"unchanged, locked", Kind::Unchanged, "\"e1\"", "<t:l>", {tagged(200, "\"e1\""), tagged(204, "\"e2\"")},
         "HEAD|PUT\n" + put + "\nIf: (<t:l>)\nIf-Match: \"e1\"", Conflict::None, "\"e2\""},
        // Apache's validator is weak for a second after a write; the weak form still names the same copy.
        {"unchanged, weak", Kind::Unchanged, "W/\"e1\"", "", {tagged(200, "W/\"e1\""), tagged(204, "W/\"e1\"")},
         "HEAD|PUT\n" + put, Conflict::None, "W/\"e1\""},
        {"unchanged, strong now", Kind::Unchanged, "W/\"e1\"", "", {tagged(200, "\"e1\""), tagged(204, "\"e2\"")},
         "HEAD|PUT\n" + put + "\nIf-Match: \"e1\"", Conflict::None, "\"e2\""},
        {"changed", Kind::Unchanged, "\"e1\"", "", {tagged(200, "\"e9\"")}, "HEAD", Conflict::Changed, ""},
        // The same weak validator can hide a change made within its clock tick: the octets tell.
        {"weak, same octets", Kind::Unchanged, weak, "",
         {tagged(200, "W/\"w\""), body("<old/>"), tagged(204, "W/\"w\"")},
         "HEAD|GET\nContent-Length: 0|PUT\n" + put, Conflict::None, "W/\"w\""},
        {"weak, other octets", Kind::Unchanged, weak, "", {tagged(200, "W/\"w\""), body("<new/>")},
         "HEAD|GET\nContent-Length: 0",
         Conflict::Changed, ""},
        {"strong, changed this second", Kind::Unchanged, strong, "", {justChanged, body("<new/>")},
         "HEAD|GET\nContent-Length: 0", Conflict::Changed, ""},
        {"deleted", Kind::Unchanged, "\"e1\"", "", {tagged(404, "")}, "HEAD", Conflict::Changed, ""},
        {"changed meanwhile", Kind::Unchanged, "\"e1\"", "", {tagged(200, "\"e1\""), tagged(412, "")},
         "HEAD|PUT\n" + put + "\nIf-Match: \"e1\"", Conflict::Changed, ""},
        // A server whose HEAD has no ETag reports getetag.
        {"getetag", Kind::Unchanged, "\"p1\"", "",
         {tagged(200, ""), Reply::http(207, "R", getetag, {{"Content-Type", "text/xml"}}), tagged(204, "\"p2\"")},
         "HEAD|" + propfind + "|PUT\n" + put +
             "\nIf-Match: \"p1\"",
         Conflict::None, "\"p2\""},
        // Nothing to compare with: stored as the plain PUT.
        {"no validator", Kind::Unchanged, "", "", {tagged(204, ""), tagged(200, ""), tagged(405, "")},
         "PUT\n" + put + "|HEAD|" + propfind,
         Conflict::None, ""},
        {"anything", Kind::Anything, "", "", {tagged(201, "\"a\"")}, "PUT\n" + put, Conflict::None, "\"a\""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = server.requests().size();
        for (const Reply& reply : c.replies) server.enqueue(reply);
        const WebDAVClient::StoreResult result =
            client.StoreDocument("d.xml", "<a/>", c.token, {c.kind, c.etag});
        std::string sent;
        const std::vector<RecordedRequest> requests = server.requests();
        for (std::size_t i = before; i < requests.size(); ++i) {
            const std::string method = requests[i].requestLine.substr(0, requests[i].requestLine.find(' '));
            const std::string headers = method == "HEAD" ? "" : davHeaders(requests[i]);
            sent += (sent.empty() ? "" : "|") + method + (headers.empty() ? "" : "\n" + headers);
        }
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(result.conflict, c.conflict);
        EXPECT_EQ(result.etag.substr(0, result.etag.find(" digest:")), c.storedETag);
    }
}

TEST_F(Wire, HostileAndFailedRepliesRaiseTheirErrors) {
    const std::string page = "<html>reply text</html>";
    const std::string huge(200 << 10, 'x');
    // Apache's and lighttpd's error pages are well-formed XHTML naming an external DTD, which is never
    // fetched.
    const std::string xhtml = "<?xml version='1.0'?><!DOCTYPE html SYSTEM '" + server.baseUrl() +
                              "/fetched.dtd'><html xmlns='http://www.w3.org/1999/xhtml'><p>401</p></html>";
    const std::string noHref = "<D:error xmlns:D='DAV:'><D:lock-token-submitted/></D:error>";
    const std::string refused =
        "<D:multistatus xmlns:D='DAV:'><D:response><D:href>/dav/c/x.xml</D:href>"
        "<D:status>HTTP/1.1 423 Locked</D:status></D:response></D:multistatus>";
    const std::string finite = "<D:error xmlns:D='DAV:'><D:propfind-finite-depth/></D:error>";
    std::string deep;  // deeper than the parser's limit of 256
    for (int i = 0; i < 300; ++i) deep += "<a>";
    const auto xml = [](int status, const std::string& body, const std::string& type = "text/xml") {
        return Reply::http(status, "Reason", body, {{"Content-Type", type}});
    };
    const auto del = [&] { client.DeleteDocument("d.xml"); };
    const auto get = [&] { client.GetDocument("d.xml"); };
    const auto propfind = [&] { client.GetAllProperties("c"); };
    const auto lock = [&] { client.LockResource("c"); };
    const auto unlock = [&] { client.UnlockResource("c"); };
    const auto list = [&] { listCollection(client, "c"); };
    const auto copy = [&] { client.CopyResource("a.xml", "b.xml"); };
    const std::string at = server.baseUrl() + "/dav/d.xml | ";
    const std::string unreadable = "GetDocument | The reply is not well-formed XML (line ";
    const std::string notDav = " | Failed to load response\r\n";
    const std::string finiteDepth =
        "FindProperty | The server refuses listings of unlimited depth (propfind-finite-depth)\r\n";
    struct Case {
        std::optional<Reply> reply;
        std::function<void()> operation;
        std::string error;  // what the error starts with
    };
    const std::vector<Case> cases = {
        // The status table of the document operations.
        {xml(423, page), del, at + "Resource has been locked"},
        {xml(403, page), del, at + "You are not allowed to alter the properties of this resource\r\n" + page},
        {xml(409, page), del, at + "Action is inappropriate\r\n" + page},
        {xml(507, page), del, at + "Insufficient storage\r\n" + page},
        {xml(415, page), del, at + "Unsupported media type\r\n" + page},
        {xml(300, page), del, "ProcessDoc | Reason\r\n" + page},
        {xml(401, page), del, "ProcessDoc | Reason\r\n" + page},
        {xml(500, page), del, "ProcessDoc | Reason\r\n" + page},
        {xml(405, page), [&] { client.MakeCollection("xbrl"); }, "ProcessDoc | Reason\r\n" + page},
        {xml(404, huge), del,
         "ProcessDoc | Reason\r\n" + huge.substr(0, 64 << 10) + "\xE2\x80\xA6 (139264 more octets)"},
        {xml(201, "<html><body>Created</body></html>", "text/html"),
         [&] { client.UpdateDocument("t.xml", "<t/>", "<t:kept>"); }, "no error"},
        // "Get document" of a reply that yields no document says why.
        {Reply::http(200, "OK"), get, "no error"},
        {xml(200, "<html><body>hi</body></html>", "text/html"), get,
         "GetDocument | The reply is not an XML document: its media type is text/html\r\n<html>"},
        // The first error, not what the parser found after it at the end of the data.
        {xml(200, "<a>\n<b></a>"), get,
         unreadable + "2, column 8): Opening and ending tag mismatch: b line 2 and a"},
        {xml(200, deep), get, unreadable + "1, column "},
        // Replies to PROPFIND, PROPPATCH and LOCK count only when they are DAV: elements.
        {xml(401, xhtml), propfind, "FindProperty" + notDav + xhtml},
        {xml(401, xhtml), [&] { client.PropertyUpdate("c", "p", "v"); }, "PropertyUpdate" + notDav + xhtml},
        {xml(401, xhtml), lock, "LockResource" + notDav + xhtml},
        // A server that dies of the lock token's If header (webdav-server 2.6) is named as the cause.
        {Reply::drop(),
         [&] {
             server.enqueue(Reply::drop());  // the one try again on a new connection finds it gone too
             client.UpdateDocument("d.xml", "<d/>", "<t:kept>");
         },
         "HttpRequest | The server stopped answering when the lock token was sent (If header)"},
        // A reply without words is told by its status.
        {Reply::http(200, "OK"), propfind,
         "FindProperty | Failed to load response: the server answered 200 OK without a WebDAV reply\r\n"},
        {Reply::http(401, "Unauthorized"), propfind,
         "FindProperty | Failed to load response: the server refused the user id or password (401 "
         "Unauthorized); File > Log on again\xE2\x80\xA6 gives it other ones\r\n"},
        {Reply::http(405, "Not Allowed"), [&] { client.PropertyUpdate("c", "p", "v"); },
         "PropertyUpdate | Failed to load response: the server does not allow this method on the resource "
         "(405 Not Allowed)\r\n"},
        // A PROPPATCH carried out without a reply (lighttpd), one refused inside a 207 (rclone).
        {Reply::http(204, "No Content"), [&] { client.PropertyUpdate("c", "p", "v"); }, "no error"},
        {xml(207,
             "<D:multistatus xmlns:D='DAV:'><D:response><D:href>/dav/c</D:href><D:propstat><D:prop><p/>"
             "</D:prop><D:status>HTTP/1.1 403 Forbidden</D:status></D:propstat></D:response>"
             "</D:multistatus>"),
         [&] { client.PropertyUpdate("c", "p", "v"); },
         "PropertyUpdate | The server did not set p (403 Forbidden)\r\n<D:multistatus"},
        // Unlimited depth refused: asked once more one level deep.
        {xml(403, finite),
         [&] {
             server.enqueue(xml(207, "<D:multistatus xmlns:D='DAV:'/>"));
             client.GetAllProperties("c");
             if (server.requests().back().header("Depth") != std::optional<std::string>("1"))
                 throw Error(0, "test", "not asked at depth 1");
         },
         "no error"},
        // A document under a label that is not XML's, and one that is HTML.
        {xml(200, "<doc>t</doc>", "application/octet-stream"), get, "no error"},
        {xml(423, page), lock, "LockResource | Document is already locked"},
        {xml(200, noHref), lock, "LockResource | Failed to lock resource\r\n" + noHref},
        // A refusal that names other resources must not hand out one of their URLs as the new token.
        {xml(207, refused), lock, "LockResource | Failed to lock resource\r\n" + refused},
        {xml(412, refused), lock, "LockResource | Failed to lock resource\r\n" + refused},
        {Reply::http(200, "OK"), unlock, "UnlockResource | Failed to unlock resource"},
        {Reply::http(400, "Bad"), unlock, "UnlockResource | Failed to unlock resource"},
        {Reply::http(401, "No"), copy, "CopyResource | You don't have the permission"},
        {Reply::http(403, "No"), copy, "CopyResource | You don't have the permission"},
        {Reply::http(412, "Precondition Failed", page), copy,
         "CopyResource | Copy failed: 412: Precondition Failed"},
        // A refused listing names the server's condition: a DAV:error, lighttpd's (prefix D undeclared) and
        // Apache's page.
        {xml(403, finite), list, finiteDepth},
        {xml(403, "<D:error><DAV:propfind-finite-depth/></D:error>", "application/xml"), list,
         finiteDepth + "<D:"},
        {xml(403,
             "<html><p>PROPFIND requests with a Depth of \"infinity\" are not allowed for /dav/c.</p></html>",
             "text/html; charset=ISO-8859-1"),
         list, finiteDepth + "<html>"},
        {xml(403, "<D:error xmlns:D='DAV:'><D:need-privileges/></D:error>"), list,
         "FindProperty | The server refuses the listing (need-privileges)"},
        {xml(404, "<html><p>Not Found</p></html>", "text/html"), list, "FindProperty" + notDav},
        // A listing is read by the charset of its label, also where its octets would pass for UTF-8.
        {xml(207,
             "<D:multistatus xmlns:D='DAV:'><D:response><D:href>/dav/c/caf\xC3\xA9.xml</D:href><D:propstat/>"
             "</D:response></D:multistatus>",
             "text/xml; charset=ISO-8859-1"),
         [&] {
             const std::vector<CollectionMember> members = listCollection(client, "c");
             if (members.size() != 1 || members[0].name != "caf\xC3\x83\xC2\xA9.xml")
                 throw Error(0, "test", "read as UTF-8");
         },
         "no error"},
        // Names that are not documents are refused before anything is sent.
        {std::nullopt, [&] { client.GetDocument("folder/"); }, "GetDocument | Invalid document folder/"},
        {std::nullopt, [&] { client.UpdateDocument("Doc.XML", ""); },
         "UpdateDocument | Invalid document Doc.XML"},
        {std::nullopt, [&] { client.DeleteDocument("xbrl"); }, "DeleteDocument | Invalid document xbrl"},
        {std::nullopt, [&] { WebDAVClient().GetAllProperties("x"); },
         "FindProperty | WebDAVURI not initialized yet"},
    };
    for (const Case& c : cases) {
        if (c.reply) server.enqueue(*c.reply);
        const std::string error = errorOf(c.operation);
        EXPECT_TRUE(error.starts_with(c.error))
            << "expected: " << c.error.substr(0, 300) << "\n     got: " << error.substr(0, 300);
        EXPECT_LT(error.size(), c.error.size() + 1024);
    }
    EXPECT_EQ(client.opaquetoken(), "<t:kept>") << "no failed lock replaces the token";
    EXPECT_EQ(server.pendingReplies(), 0u);
    for (const RecordedRequest& request : server.requests()) EXPECT_TRUE(request.target.starts_with("/dav/"));
}

}  // namespace
}  // namespace ostrel
