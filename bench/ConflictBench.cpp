// ostrel-bench-conflicts: two users edit one document on each of the six server profiles, in rounds that
// alternate between a change made meanwhile (both fetch, then both store) and none (one fetches and stores,
// then the other). It counts what the editor's store does: a store that replaced a change it never saw is a
// silent overwrite; a conflict reported where nothing changed in between is a needless question. Exits 1 when
// either happens on a server that reports validators.
//
//   ostrel-bench-conflicts [--rounds N]   100 rounds by default
#include <cstdio>
#include <cstring>
#include <string>

#include "client/WebDAVClient.h"
#include "support/DavServer.h"

using namespace ostrel;

namespace {

using Kind = WebDAVClient::StoreExpectation::Kind;
using Conflict = WebDAVClient::StoreConflict;

struct Editor {
    WebDAVClient client;
    std::string etag;

    void fetch(const std::string& doc) { etag = client.FetchDocument(doc).etag; }
    Conflict store(const std::string& doc, const std::string& text) {
        const WebDAVClient::StoreResult result = client.StoreDocument(doc, text, "", {Kind::Unchanged, etag});
        if (result.conflict == Conflict::None) etag = result.etag;
        return result.conflict;
    }
};

struct Counts {
    long changedMeanwhile = 0;
    long caught = 0;
    long silentOverwrites = 0;
    long needlessQuestions = 0;
    bool validators = false;
};

Editor editorOn(const test::DavServer& server) {
    Editor editor;
    editor.client.WebDAVURI(server.url());
    editor.client.UserId(server.options().user);
    editor.client.Password(server.options().password);
    return editor;
}

Counts run(const test::DavServer& server, long rounds) {
    const std::string doc = "xbrl/other/shared.xml";
    Editor a = editorOn(server);
    Editor b = editorOn(server);
    a.client.UpdateDocument(doc, "<v>start</v>");
    Counts counts;
    for (long round = 0; round < rounds; ++round) {
        // Texts of different lengths, so that no two versions look alike to a validator made of size and
        // time.
        const std::string mine =
            "<v>a" + std::string(static_cast<std::size_t>(round % 7), 'x') + std::to_string(round) + "</v>";
        const std::string theirs = "<v>b" + std::to_string(round * 31) + "</v>";
        if (round % 2 == 0) {
            a.fetch(doc);
            b.fetch(doc);
            counts.validators = counts.validators || !a.etag.empty();
            if (a.store(doc, mine) != Conflict::None) ++counts.needlessQuestions;
            ++counts.changedMeanwhile;
            if (b.store(doc, theirs) == Conflict::None) {
                ++counts.silentOverwrites;
            } else {
                ++counts.caught;
            }
        } else {
            a.fetch(doc);
            if (a.store(doc, mine) != Conflict::None) ++counts.needlessQuestions;
            b.fetch(doc);
            if (b.store(doc, theirs) != Conflict::None) ++counts.needlessQuestions;
        }
    }
    return counts;
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = 100;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) rounds = std::stol(argv[2]);
    std::printf(
        "| server | rounds | changed meanwhile | caught | silent overwrites | needless questions |\n"
        "|---|---:|---:|---:|---:|---:|\n");
    bool sound = true;
    for (const char* kind : test::kServerProfiles) {
        try {
            test::DavServer server({.server = kind});
            const Counts c = run(server, rounds);
            std::printf("| %s%s | %ld | %ld | %ld | %ld | %ld |\n", kind,
                        c.validators ? "" : " (no validators)", rounds, c.changedMeanwhile, c.caught,
                        c.silentOverwrites, c.needlessQuestions);
            if (c.validators && (c.silentOverwrites > 0 || c.needlessQuestions > 0)) sound = false;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "ostrel-bench-conflicts: %s: %s\n", kind, error.what());
            sound = false;
        }
    }
    return sound ? 0 : 1;
}
