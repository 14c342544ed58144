#include "BrisendoKit/Actions/ActionLinks.h"

#include <gtest/gtest.h>

using namespace pivorel;

TEST(ActionLinks, SearchLinksEscapeWhatWouldChangeTheQuery) {
    EXPECT_EQ(ActionLinks::google("a+b 模板"),
              "https://www.google.com/search?q=a%2Bb%20%E6%A8%A1%E6%9D%BF");
    EXPECT_EQ(ActionLinks::kagi("c++"), "https://kagi.com/search?q=c%2B%2B");
    // "&", "=" and "#" would end the item or the query; what a query allows stays.
    EXPECT_EQ(ActionLinks::google("a&b=c#d"), "https://www.google.com/search?q=a%26b%3Dc%23d");
    EXPECT_EQ(ActionLinks::google("x:/?@!$'()*,;~"),
              "https://www.google.com/search?q=x:/?@!$'()*,;~");
    EXPECT_EQ(ActionLinks::google("50% \"<>\\^`{|}[]"),
              "https://www.google.com/search?q=50%25%20%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D");
    // Passed whole: leading spaces and line breaks are kept; broken UTF-8 is repaired.
    EXPECT_EQ(ActionLinks::google(" a\n"), "https://www.google.com/search?q=%20a%0A");
    EXPECT_EQ(ActionLinks::google("\xff"), "https://www.google.com/search?q=%EF%BF%BD");
    EXPECT_EQ(ActionLinks::google(""), "https://www.google.com/search?q=");
}

TEST(ActionLinks, DayOne) {
    EXPECT_EQ(ActionLinks::dayOne("a+b\n\nhttps://x.com"),
              "dayone://post?entry=a%2Bb%0A%0Ahttps://x.com");
}

TEST(ActionLinks, OpenableAddsHttpsOnlyWhenNoSchemeIsNamed) {
    EXPECT_EQ(ActionLinks::openable("  example.com/a/b?q=1 \n"), "https://example.com/a/b?q=1");
    EXPECT_EQ(ActionLinks::openable("ftp://files.example.com/x"), "ftp://files.example.com/x");
    EXPECT_EQ(ActionLinks::openable("obsidian://open?vault=a"), "obsidian://open?vault=a");
    EXPECT_EQ(ActionLinks::openable("HTTP://Example.com"), "HTTP://Example.com");
    // A scheme starts with a letter, so this one names none.
    EXPECT_EQ(ActionLinks::openable("1abc://x"), "https://1abc://x");
    // Non-ASCII hosts and paths become a URL a browser takes.
    EXPECT_EQ(ActionLinks::openable("例子.中国/路径"),
              "https://xn--fsqu00a.xn--fiqs8s/%E8%B7%AF%E5%BE%84");
    // Not one link.
    EXPECT_EQ(ActionLinks::openable("two words.com"), std::nullopt);
    EXPECT_EQ(ActionLinks::openable("   "), std::nullopt);
    EXPECT_EQ(ActionLinks::openable("https://"), std::nullopt);
}

TEST(ActionLinks, OneLineTakesTheFirstLineCollapsedAndCut) {
    EXPECT_EQ(ActionLinks::oneLine("\n\n  first   line  \nsecond", 200), "first line");
    EXPECT_EQ(ActionLinks::oneLine("\n\n  first   line  \nsecond", 5), "first");
    EXPECT_EQ(ActionLinks::oneLine("a\r\nb", 10), "a");
    EXPECT_EQ(ActionLinks::oneLine("a\u2028b\u0085c", 10), "a");
    EXPECT_EQ(ActionLinks::oneLine("a\tb\u3000\u00A0c", 10), "a b c");
    // A line of only spaces is not the first line of text.
    EXPECT_EQ(ActionLinks::oneLine("   \n\t\n 明天开会", 10), "明天开会");
    EXPECT_EQ(ActionLinks::oneLine("\n\r\n", 10), "");
    EXPECT_EQ(ActionLinks::oneLine("", 10), "");
    // The limit counts user-perceived characters.
    EXPECT_EQ(ActionLinks::oneLine("👨‍👩‍👧e\u0301xyz", 2), "👨‍👩‍👧e\u0301");
}

TEST(ActionLinks, FlomoNoteEscapesAngleBracketsEverywhere) {
    EXPECT_EQ(ActionLinks::flomoContent("\n笔记\n", std::string_view("<App>"),
                                        std::string_view("https://x.com/?a=<1>")),
              "笔记\n\nhttps://x.com/?a=＜1＞ · 来自 ＜App＞\n\n#pivorel");
    EXPECT_EQ(ActionLinks::flomoContent("a\xc3", std::nullopt, std::nullopt),
              "a\uFFFD\n\n#pivorel");
}
