#include "BrisendoKit/Content/ContentClassifier.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace pivorel {

void PrintTo(ContentKind k, std::ostream* os) {
    *os << toString(k);
}

void PrintTo(const ContentProfile& p, std::ostream* os) {
    *os << "{";
    for (ContentKind k : p.kinds) *os << " " << toString(k);
    *os << " }";
}

namespace {

using K = ContentKind;

ContentProfile classify(std::string_view s) {
    return ContentClassifier::classify(s);
}
ContentProfile kinds(std::initializer_list<K> ks) {
    return {ContentKindSet(ks)};
}

std::string repeat(std::string_view unit, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += unit;
    return s;
}

TEST(ContentClassifier, LinksOfAnySchemeAndBareDomainsWithAKnownTopLevelLabel) {
    for (const char* link :
         {"https://example.com/a?b=1", "ftp://host/file", "obsidian://open?vault=x", "x-y+z.w://a",
          "HTTP://EXAMPLE.COM", "github.io", "www.example.com", "example.com:8080/path?q=1#top",
          "pivorel.ai?x", "EXAMPLE.COM", "Sub.Domain.Dev#a", "x.sh", "notes.so"}) {
        EXPECT_TRUE(ContentClassifier::isURL(link)) << link;
    }
    for (const char* text : {"://example.com", "1http://example.org", "https://", "https://a b",
                             "mailto:me@example.com", "", " https://example.com", "README.md",
                             "main.py", "notes.txt", "example.com:port", "example", "example.c",
                             "example.com.", "a_b.com", "example.com/a b"}) {
        EXPECT_FALSE(ContentClassifier::isURL(text)) << text;  // isURL does not trim
    }
    EXPECT_EQ(classify(" \n https://example.com/2024-01-01/明天?todo=1 \n"), kinds({K::url}));
    EXPECT_FALSE(classify("https://example.com today").has(K::url));
    EXPECT_EQ(classify("README.md"), kinds({K::english, K::shortPhrase}));
}

TEST(ContentClassifier, ToDoLines) {
    for (const char* todo :
         {"- [ ] buy milk", "☐ 交报告", "□ 交报告", "* [] x", "[ ] 1", "Remember to call back",
          "TODO: fix", "  • to-do list", "- [ ] 记得买菜", "得先吃饭", "Send it asap",
          "due by Friday", "下周五截止"}) {
        EXPECT_TRUE(classify(todo).has(K::todoLike)) << todo;
    }
    for (const char* text : {"Today I learned", "todos list", "我需要休息", "[x] done"}) {
        EXPECT_FALSE(classify(text).has(K::todoLike)) << text;
    }
    EXPECT_TRUE(classify("下周五截止").has(K::dateTime));
    EXPECT_TRUE(classify("记得" + std::string(158, 'x')).has(K::todoLike));
    EXPECT_EQ(classify("记得" + std::string(159, 'x')), kinds({K::english, K::longParagraph}));
}

TEST(ContentClassifier, DatesAndTimes) {
    for (const char* date :
         {"周末爬山", "周三见", "礼拜天", "3月15日", "3 月 5 号", "10:30", "10：30", "下午3点半",
          "3点", "2024年3月", "2024/1/2", "tomorrow", "Next Friday", "see you tonight"}) {
        EXPECT_TRUE(classify(date).has(K::dateTime)) << date;
    }
    for (const char* text : {"tomorrows", "next weekend", "1234", "10:3", "周八"}) {
        EXPECT_FALSE(classify(text).has(K::dateTime)) << text;
    }
    EXPECT_EQ(classify("2024-01-01"), kinds({K::dateTime, K::shortPhrase}));
    EXPECT_EQ(classify("明天下午3点开会"), kinds({K::dateTime, K::chinese, K::shortPhrase}));
    EXPECT_EQ(classify("明天下午3点开会").primary(), K::dateTime);
    EXPECT_TRUE(classify("明天" + std::string(78, 'x')).has(K::dateTime));
    EXPECT_FALSE(classify("明天" + std::string(79, 'x')).has(K::dateTime));
}

TEST(ContentClassifier, LanguageNeedsSeventyOrThirtyPercent) {
    EXPECT_EQ(classify("abcdefg 中文字"), kinds({K::english, K::chinese, K::shortPhrase}));
    EXPECT_EQ(classify("abcdefgh 中文"), kinds({K::english, K::shortPhrase}));
    EXPECT_EQ(classify("abcdef 中文字典"), kinds({K::chinese, K::shortPhrase}));
    EXPECT_EQ(classify("これはテストです"), kinds({K::chinese, K::shortPhrase}));  // kana count
    EXPECT_EQ(classify("안녕하세요, 123。"), kinds({K::shortPhrase}));  // neither is counted
}

TEST(ContentClassifier, LengthClassCountsWhatAPersonSees) {
    for (std::string_view unit : {"e\u0301", "👍🏽", "👨‍👩‍👧"}) {
        EXPECT_EQ(classify(repeat(unit, 24)).primary(), K::shortPhrase) << unit;
        EXPECT_EQ(classify(repeat(unit, 25)).primary(), K::sentence) << unit;
        EXPECT_EQ(classify(repeat(unit, 119)).primary(), K::sentence) << unit;
        EXPECT_EQ(classify(repeat(unit, 120)).primary(), K::longParagraph) << unit;
    }
    EXPECT_EQ(classify("a b c d e f").primary(), K::shortPhrase);
    EXPECT_EQ(classify("a b c d e f g").primary(), K::sentence);
    EXPECT_EQ(classify("a\u3000b\u3000c\u3000d\u3000e\u3000f\u3000g").primary(), K::sentence);
    // A mark after a space joins the space: six words, not seven.
    EXPECT_EQ(classify("a \u0301 b c d e f").primary(), K::shortPhrase);

    EXPECT_EQ(classify("ab\ncd").primary(), K::sentence);
    EXPECT_EQ(classify("ab\r\ncd").primary(), K::shortPhrase);  // CR LF is not a lone line feed
    const std::string twoLines = repeat("👍🏽", 20) + "\n" + repeat("x", 19) + "\n";
    EXPECT_EQ(classify(twoLines + repeat("y", 18)).primary(), K::sentence);  // 59
    EXPECT_EQ(classify(twoLines + repeat("y", 19)).primary(), K::longParagraph);
    EXPECT_EQ(
        classify(repeat("x", 30) + "\r\n" + repeat("x", 30) + "\r\n" + repeat("x", 30)).primary(),
        K::sentence);
    EXPECT_EQ(classify("明天\n" + repeat("x", 28) + "\n" + repeat("x", 28)),
              kinds({K::dateTime, K::english, K::longParagraph}));
}

TEST(ContentClassifier, EmptyAndIllFormedInput) {
    EXPECT_EQ(classify(""), kinds({K::sentence}));
    EXPECT_EQ(classify("  \n\t\u3000\r\n "), kinds({K::sentence}));
    EXPECT_EQ(classify("\xFF\xFE"), kinds({K::shortPhrase}));
    EXPECT_EQ(classify("https://exa\xFFmple.com"), kinds({K::url}));
    EXPECT_EQ(classify(std::string("明天\0\xC3", 8)), classify("明天\0\uFFFD"));
    EXPECT_FALSE(ContentClassifier::isURL("exa\xE4\xB8mple.com"));
}

}  // namespace
}  // namespace pivorel
