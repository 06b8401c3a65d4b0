#include <gtest/gtest.h>

#include "ui/Browsing.h"

using namespace ostrel::browsing;

using Names = std::vector<std::string>;

TEST(Browsing, ListingDependsOnTheShapeOfTheField) {
    const Names root = {"ostrelwebdavserver", "xbrl",           "/config", "Document_1.xml",
                        "Administration",     "administration", "xbrl2"};
    EXPECT_EQ(listing("", root), (Names{"xbrl", "/config", "Document_1.xml", "Administration"}));
    EXPECT_EQ(listing("   ", root), listing("", root)) << "blanks only count as the root";
    EXPECT_EQ(listing("", Names{"root", "my-administration-notes", "a"}), Names{});
    EXPECT_EQ(listing("xbrl", Names{"/xbrl", "config", "/other", "/"}), (Names{"xbrl", "other", ""}));
    EXPECT_EQ(listing("xbrl/config", Names{"config", "Document_1.xml", "notes.xml.bak", "a.XML"}),
              (Names{"Document_1.xml", "notes.xml.bak"}));
    EXPECT_EQ(listing("\txbrl", Names{"/a"}), Names{"a"}) << "only spaces are trimmed";
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
