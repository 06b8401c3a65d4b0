#include <gtest/gtest.h>

#include "ui/Browsing.h"

using namespace ostrel::browsing;

using Names = std::vector<std::string>;

TEST(Browsing, ListingDependsOnTheShapeOfTheFieldAndIsSortedAsFilesAre) {
    using Members = std::vector<ostrel::CollectionMember>;
    // clang-format off
    const Members root = {{"xbrl", true},          {"administration", true}, {"Document_10.xml", false},
                          {"Administration", true}, {"document_9.xml", false}, {"x-administration-y", false},
                          {"a2b", false},           {"A10b", false}};
    // Whatever the server's order, the administrative area is skipped, not where the listing stops.
    EXPECT_EQ(listing("", root), (Names{"a2b", "A10b", "Administration", "document_9.xml", "Document_10.xml", "xbrl"}));
    EXPECT_EQ(listing("   ", root), listing("", root)) << "blanks only count as the root";
    const Members top = {{"/config", true}, {"other", true}, {"readme.xml", false}, {"/legacy", false}};
    EXPECT_EQ(listing("xbrl", top), (Names{"config", "legacy", "other"}));
    EXPECT_EQ(listing("\txbrl", Members{{"/a", false}}), Names{"a"}) << "only spaces are trimmed";
    const Members deep = {{"config", true}, {"Document_1.xml", false}, {"notes.xml.bak", false}, {"a.XML", false}};
    EXPECT_EQ(listing("xbrl/config", deep), (Names{"Document_1.xml", "notes.xml.bak"}));
    // clang-format on
    EXPECT_TRUE(sortsBefore("b007", "b10") && !sortsBefore("b10", "b007") && sortsBefore("B", "b"));
}

TEST(Browsing, PickingRewritesTheField) {
    struct Case {
        std::string field, lastPicked, entry, expectedField, expectedLastPicked;
    };
    const Case cases[] = {
        {"", "", "xbrl", "xbrl", "xbrl"},  // after a root listing the entry is copied
        {"a", "a", "b", "b", "b"},         // and each further pick replaces it
        {"a", "b", "c", "a/c", "b"},       // typed by hand: joined
        {"  ", "", "a", "  /a", ""},       // blanks are not the empty lastPicked
        {"xbrl", "", "config", "xbrl/config", ""},
        {"xbrl/config", "", "Document_1.xml", "xbrl/config/Document_1.xml", ""},
        {"xbrl/config/sub", "", "other", "xbrl/other", ""},  // a collection: up to the FIRST "/"
        {"xbrl/config/sub", "", "n.xml", "xbrl/config/sub/n.xml", ""},
        {"xbrl/config/Document_1.xml", "", "Document_2.xml", "xbrl/config/Document_2.xml",
         ""},  // the LAST "/"
    };
    for (const Case& c : cases) {
        const Picked picked = pick(c.field, c.lastPicked, c.entry);
        EXPECT_EQ(picked.field, c.expectedField) << c.field << " + " << c.entry;
        EXPECT_EQ(picked.lastPicked, c.expectedLastPicked) << c.field << " + " << c.entry;
    }
}

TEST(Browsing, FolderUrls) {
    EXPECT_EQ(folderUrl("/home/a"), "file:///home/a");
    EXPECT_EQ(folderUrl("C:\\data\\sub"), "file:///C:/data/sub");
}
