#include <gtest/gtest.h>

#include "BrisendoKit/Update/Appcast.h"
#include "BrisendoKit/Update/VersionComparison.h"

using namespace pivorel;

namespace {

std::string feed(const std::string& items, const std::string& ns = "sparkle") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" xmlns:" + ns +
           "=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><title>Pivorel</"
           "title>" +
           items + "</channel></rss>";
}

}  // namespace

TEST(VersionComparison, OrdersReleasesAndPreReleases) {
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_EQ(compareVersions("1.0.0", "1"), 0);
    EXPECT_EQ(compareVersions("v2.1", "2.1"), 0);
    EXPECT_LT(compareVersions("1.0b2", "1.0"), 0);
    EXPECT_LT(compareVersions("1.0b2", "1.0b10"), 0);
    EXPECT_LT(compareVersions("1.0beta", "1.0rc1"), 0);
    EXPECT_GT(compareVersions("1.0.1", "1.0b9"), 0);
    EXPECT_EQ(compareVersions("1.0-RC1", "1.0rc1"), 0);
    // Numbers longer than any integer type still compare.
    EXPECT_GT(compareVersions("1.99999999999999999999999", "1.99999999999999999999998"), 0);
    EXPECT_EQ(compareVersions("1.007", "1.7"), 0);
    EXPECT_LT(compareVersions("", "0.1"), 0);
}

TEST(Appcast, ReadsBothSparkleFormsAndPicksTheNewestForThisSystem) {
    const auto items = Appcast::parse(
        feed("<item><title>0.3</title><link>https://pivorel.app/releases/0.3</link>"
             "<enclosure url=\"https://pivorel.app/pivorel_0.3.deb\" sparkle:version=\"0.3.0\" "
             "sparkle:shortVersionString=\"0.3\" sparkle:os=\"linux\" length=\"1\"/></item>"
             "<item><title>0.4 mac</title><enclosure url=\"https://x/mac.zip\" "
             "sparkle:version=\"0.4.0\" sparkle:os=\"macos\"/></item>"
             "<item><title>0.2</title><sparkle:version> 0.2.0 </sparkle:version>"
             "<sparkle:releaseNotesLink>https://pivorel.app/notes/0.2</sparkle:releaseNotesLink>"
             "</item>"
             "<item><title>no version</title><enclosure url=\"https://x\"/></item>"));
    ASSERT_TRUE(items) << items.error();
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ((*items)[0].displayVersion, "0.3");
    EXPECT_EQ((*items)[0].os, "linux");
    EXPECT_EQ((*items)[2].version, "0.2.0");
    EXPECT_EQ((*items)[2].displayVersion, "0.2.0");
    EXPECT_EQ((*items)[2].pageURL(), "https://pivorel.app/notes/0.2");

    auto newest = Appcast::newest(*items, "0.1.0");
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->version, "0.3.0") << "the macOS item is not for us";
    EXPECT_EQ(newest->pageURL(), "https://pivorel.app/releases/0.3");
    EXPECT_FALSE(Appcast::newest(*items, "0.3"));
    EXPECT_FALSE(Appcast::newest(*items, "1.0"));

    // Any prefix bound to the Sparkle namespace counts.
    const auto other = Appcast::parse(
        feed("<item><s:version>2.0</s:version><s:shortVersionString>Two</s:shortVersionString>"
             "</item>",
             "s"));
    ASSERT_TRUE(other);
    ASSERT_EQ(other->size(), 1u);
    EXPECT_EQ((*other)[0].displayVersion, "Two");
}

TEST(Appcast, BadDocumentsAreErrorsAndBadFieldsAreDropped) {
    EXPECT_FALSE(Appcast::parse(""));
    EXPECT_FALSE(Appcast::parse("<rss><channel><item></channel></rss>"));
    EXPECT_FALSE(Appcast::parse("<html><body>Not found</body></html>"));
    EXPECT_FALSE(Appcast::parse("<rss version=\"2.0\"></rss>"));
    const auto empty = Appcast::parse(feed(""));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    // Entities are not expanded beyond the predefined ones.
    const auto entity = Appcast::parse(
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">]>"
        "<rss><channel><item><sparkle:version>&a;&amp;</sparkle:version></item></channel></rss>");
    ASSERT_TRUE(entity);
    ASSERT_EQ(entity->size(), 1u);
    EXPECT_EQ((*entity)[0].version.find("aaaaaaaaaa"), std::string::npos);

    const std::string huge(Appcast::maxFieldBytes + 1, '9');
    const auto items = Appcast::parse(feed("<item><sparkle:version>" + huge +
                                           "</sparkle:version></item><item><sparkle:version>"
                                           "1\xff"
                                           "</sparkle:version></item>"));
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].version, "1\xEF\xBF\xBD");
}

TEST(Appcast, OnlyWebAddressesAreOpened) {
    AppcastItem item;
    item.link = "file:///etc/passwd";
    item.downloadURL = "javascript:alert(1)";
    item.releaseNotesURL = "https://pivorel.app/notes";
    EXPECT_EQ(item.pageURL(), "https://pivorel.app/notes");
    item.releaseNotesURL = "https://pivorel.app/a b";
    EXPECT_EQ(item.pageURL(), "");
    item.downloadURL = "HTTP://pivorel.app/x.deb";
    EXPECT_EQ(item.pageURL(), "HTTP://pivorel.app/x.deb");
    item.downloadURL = "https:///nohost";
    EXPECT_EQ(item.pageURL(), "");
}
