#include <gtest/gtest.h>

#include "ui/Browsing.h"

namespace ostrel::browsing {
namespace {

using Names = std::vector<std::string>;

TEST(Browsing, ListingDependsOnTheShapeOfTheField) {
    const Names root = {"ostrelwebdavserver", "xbrl",           "/config", "Document_1.xml",
                        "Administration",     "administration", "xbrl2"};
    EXPECT_EQ(listing("", root), (Names{"xbrl", "/config", "Document_1.xml", "Administration"}));
    EXPECT_EQ(listing("   ", root), listing("", root)) << "blanks only count as the root";
    EXPECT_EQ(listing("", Names{"root", "my-administration-notes"}), Names{});
    EXPECT_EQ(listing("", Names{}), Names{});

    EXPECT_EQ(listing("xbrl", Names{"/xbrl", "config", "/other", "/"}), (Names{"xbrl", "other", ""}));
    EXPECT_EQ(listing("xbrl/config", Names{"config", "Document_1.xml", "notes.xml.bak", "a.XML"}),
              (Names{"Document_1.xml", "notes.xml.bak"}));
    EXPECT_EQ(listing("\txbrl", Names{"/a"}), Names{"a"}) << "only spaces are trimmed";
}

TEST(Browsing, PickingRewritesTheFieldWithoutAnyRequest) {
    // The walk from the root down to a second document.
    Picked p = pick("", "", "xbrl");
    EXPECT_EQ(p.field, "xbrl");
    EXPECT_EQ(p.lastPicked, "xbrl");
    p = pick("xbrl", "", "config");  // a listing of xbrl emptied lastPicked
    EXPECT_EQ(p.field, "xbrl/config");
    EXPECT_EQ(pick("xbrl/config", "", "other").field, "xbrl/other");
    p = pick("xbrl/config", "", "Document_1.xml");
    EXPECT_EQ(p.field, "xbrl/config/Document_1.xml");
    EXPECT_EQ(p.lastPicked, "");
    EXPECT_EQ(pick(p.field, p.lastPicked, "Document_2.xml").field, "xbrl/config/Document_2.xml");

    // After a root listing each further pick replaces the entry; typing by hand makes the next pick join.
    p = pick("", "", "a");
    p = pick(p.field, p.lastPicked, "b");
    EXPECT_EQ(p.field, "b");
    EXPECT_EQ(pick("a", p.lastPicked, "b").field, "a/b");
    EXPECT_EQ(pick("  ", "", "a").field, "  /a") << "blanks are not the empty lastPicked";
}

TEST(Browsing, FolderUrls) {
    EXPECT_EQ(folderUrl("/home/a"), "file:///home/a");
    EXPECT_EQ(folderUrl("/"), "file:///");
    EXPECT_EQ(folderUrl("C:\\data\\sub"), "file:///C:/data/sub");
}

}  // namespace
}  // namespace ostrel::browsing
