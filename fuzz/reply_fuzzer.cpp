// Feeds arbitrary server replies through what the program reads from one: the body parsed as octets (what a
// reply shown in the viewer goes through) and, decoded by its charset, as text (what a lock, a property
// search or a listing goes through), the lock-token and display-name extraction, the listing and picking
// rules of the main window, and the node walks of the viewer. The decoding itself is codec_fuzzer's.
//
// Input layout: the first byte chooses the reply's Content-Type (low four bits, see kContentTypes) and an
// extra resource field for the listing rules (bits 4-5, see kExtraFields) and the size of the pieces the
// listing's reader is fed (bits 6-7, see kPieces); the rest is the body. With
// Content-Type choice 15 the body's first line (up to a newline, at most 200 bytes) is itself the
// Content-Type value and the body starts after it. In the seed corpus the selector is a printable
// character: '0'..'?' pick Content-Types 0..15 with extra field 3, '@'..'O' the same with extra field 0,
// 'P'..'_' with extra field 1.
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Invariants.h"
#include "platform/MultistatusReader.h"

using namespace ostrel;
using namespace ostrel::fuzz;

namespace {

constexpr std::array<std::string_view, 15> kContentTypes = {
    "",  // no Content-Type header at all
    "text/xml; charset=utf-8",
    "application/xml",
    "text/xml; charset=\"UTF-8\"",
    "text/xml; charset=ISO-8859-1",
    "text/xml; charset=utf-16",
    "application/xml;charset=UTF-16LE",
    "text/xml; charset=UTF-16BE",
    "text/html; charset=iso-8859-1",
    "text/html",
    "text/plain; charset=windows-1252",
    "text/xml; charset=us-ascii",
    "text/xml; charset=x-no-such-charset",
    "text/xml; Charset = \"Shift_JIS\"",
    "application/xml; charset=utf-32",
};

constexpr std::array<const char*, 4> kExtraFields = {"   ", "xbrl/config/Instance.xml", "/", "xbrl/"};
constexpr std::array<std::size_t, 4> kPieces = {1, 3, 64, std::size_t(-1)};

// The members a loaded multistatus names, walked as the tree it is: what the listing's reader, which never
// builds the tree, must agree with.
std::vector<CollectionMember> membersOfTree(XmlDocument& reply, std::string_view self) {
    using replies::davChild;
    std::vector<CollectionMember> members;
    const XmlNode root = reply.documentElement();
    if (!root.isElement("multistatus", "DAV:")) return members;
    for (XmlNode response = root.firstChild(); response; response = response.nextSibling()) {
        if (!response.isElement("response", "DAV:")) continue;
        MultistatusResponse read{davChild(response, "href").text(), "", false};
        bool hasPropstat = false;
        replies::forEachPropstat(root, [&](const XmlNode& owner, const XmlNode& prop, bool success) {
            if (owner != response) return;
            hasPropstat = true;
            if (!success) return;
            if (const XmlNode name = davChild(prop, "displayname"); name && read.displayName.empty())
                read.displayName = name.text();
            if (const XmlNode type = davChild(prop, "resourcetype"))
                read.collection = read.collection || davChild(type, "collection");
        });
        if (!hasPropstat) continue;
        if (std::optional<CollectionMember> member = memberOf(read, self))
            members.push_back(std::move(*member));
    }
    return members;
}

// The listing's reading: the reply's text fed to the reader in pieces of the given size, and where that
// fails once more in one piece, as the client does.
std::vector<CollectionMember> membersRead(std::string_view text, std::size_t piece, bool& wellFormed) {
    std::vector<CollectionMember> members;
    MultistatusReader reader(
        [&](MultistatusResponse& response) {
            if (std::optional<CollectionMember> member = memberOf(response, "/dav/c"))
                members.push_back(std::move(*member));
        },
        [&] { members.clear(); });
    for (std::size_t at = 0; at < text.size(); at += piece) reader.feed(text.substr(at, piece));
    wellFormed = reader.finish();
    if (!wellFormed) {
        reader.restart();
        reader.feed(text);
        wellFormed = reader.finish();
    }
    return members;
}

bool sameMembers(const std::vector<CollectionMember>& a, const std::vector<CollectionMember>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.name == y.name && x.collection == y.collection;
    });
}

void quiet(void*, const char*, ...) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    xmlInitParser();
    // The product parses with errors and warnings off; this silences the generic channel as well, so that
    // stderr shows only what libFuzzer and the sanitizers say.
    xmlSetGenericErrorFunc(nullptr, quiet);
    passwdLine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned selector = data[0];
    std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string_view contentType =
        (selector & 0x0F) < kContentTypes.size() ? kContentTypes[selector & 0x0F] : takeFirstLine(body);
    // responseText: the body decoded by the reply's charset.
    const std::string decoded = text::decodeToUtf8(body, text::charsetOf(contentType));

    // responseXML: the octets themselves, as the viewer and the editor get them.
    {
        XmlDocument doc = XmlDocument::fromBytes(body);
        check(doc.hasChildNodes() == doc.parseError().reason.empty(),
              "a reason is given exactly when fromBytes fails", doc.parseError().reason);
        checkOnePass(body, doc, xml::Octets::File);
        walk(doc);
        checkSelections(doc);
        checkReplies(doc);
        checkSerialisation(doc.xml(), body.size(), body);
        if (body.empty()) check(!doc.hasChildNodes(), "an empty body is an empty document");
    }

    // loadReply: the decoded text, as LockResource and PropertyFind load it.
    XmlDocument reply;
    reply.setProperty("SelectionLanguage", "XPath");
    const bool loaded = reply.loadXML(decoded);
    check(loaded == reply.hasChildNodes(), "loadXML succeeds exactly when the document has child nodes");
    if (!loaded) {
        check(reply.childNodes().length() == 0 && !reply.firstChild() && !reply.documentElement(),
              "a failed loadXML leaves an empty document");
        check(!reply.parseError().reason.empty(), "a failed loadXML says why");
    } else {
        check(reply.parseError().reason.empty() && reply.parseError().code == 0,
              "a successful loadXML clears the error");
    }
    checkOnePass(decoded, reply, xml::Octets::Text);
    walk(reply);
    checkReplies(reply);
    checkSelections(reply);

    bool wellFormed = false;
    const std::vector<CollectionMember> members =
        membersRead(decoded, kPieces[(selector >> 6) & 3], wellFormed);
    check(wellFormed == loaded, "the listing's reader and a document agree on what is well-formed");
    if (loaded) {
        check(sameMembers(members, membersOfTree(reply, "/dav/c")),
              "the listing's reader finds the members the document holds");
    }
    for (const CollectionMember& member : members) checkText(member.name, "a member's name is clean UTF-8");
    for (const char* field : {"", "xbrl", "xbrl/config"}) checkListing(members, field);
    checkListing(members, kExtraFields[(selector >> 4) & 3]);

    const std::string xml = reply.xml();
    checkSerialisation(xml, decoded.size(), decoded);
    (void)reply.text();

    if (loaded) {
        // The viewer and the editor read back what the program wrote out (result.xml): it must load
        // again as the very same tree, not merely as some document.
        XmlDocument again;
        check(again.loadXML(xml), "a serialised reply loads again", again.parseError().reason);
        checkSameTree(reply, again, "a serialised reply loads back as the same tree");
        check(again.text() == reply.text(), "a reloaded reply has the same text");
        check(again.xml() == xml, "serialising a reloaded reply gives the same text", again.xml());
    }

    // Reloading a document that already holds a tree gives the same result as a fresh one: nothing of
    // the earlier tree survives a failed load.
    XmlDocument reused;
    check(reused.loadXML("<r xmlns:D='DAV:'><D:href>earlier</D:href><D:displayname>x</D:displayname></r>"),
          "the earlier tree loads");
    reused.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    check(reused.loadXML(decoded) == loaded, "a reload succeeds as a fresh load does");
    check(reused.xml() == xml, "a reload gives the same tree as a fresh load", reused.xml());
    if (!loaded) {
        check(!replies::firstDavHref(reused) && replies::displayNames(reused).empty(),
              "a failed reload leaves no token and no names behind");
    }
    return 0;
}
