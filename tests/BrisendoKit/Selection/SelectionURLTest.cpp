#include "BrisendoKit/Selection/SelectionURL.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Support/Text.h"

using namespace pivorel;

namespace {

using E = SelectionURL::ParseError;

SelectRequest parsed(std::string_view url) {
    const auto r = SelectionURL::parse(url);
    EXPECT_TRUE(r.ok()) << url;
    return r.ok() ? *r : SelectRequest{};
}

E error(std::string_view url) {
    const auto r = SelectionURL::parse(url);
    EXPECT_FALSE(r.ok()) << url;
    return r.ok() ? E{} : r.error();
}

TEST(SelectionURLTest, ItemsAreDecodedTrimmedAndDefaulted) {
    EXPECT_EQ(parsed("pivorel://select?text=%20Hello%20%E4%B8%96%E7%95%8C%0A&app=%20org.gnome.gedit"
                     "&url=https%3A%2F%2Fa.example%2Fp%3Fq%3D1&dry=TRUE&src=%20raycast%20#frag"),
              (SelectRequest{"Hello 世界", "org.gnome.gedit", "https://a.example/p?q=1", true,
                             "raycast", false}));
    EXPECT_EQ(parsed("brisendo://SELECT?text=a+b%2Bc&app=&url=%20&src="),
              (SelectRequest{"a+b+c", std::nullopt, std::nullopt, false, "popclip", false}));
    EXPECT_EQ(parsed("PIVOREL://user@Select:1/?src&text=C++\n").source, "popclip");

    for (const char* dry : {"1", "yes", "YES", "true"}) {
        EXPECT_TRUE(parsed(std::string("pivorel://select?text=x&dry=") + dry).dry) << dry;
    }
    for (const char* dry : {"on", "0", "", " 1"}) {
        EXPECT_FALSE(parsed(std::string("pivorel://select?text=x&dry=") + dry).dry) << dry;
    }
    EXPECT_FALSE(parsed("pivorel://select?text=x&dry").dry);
}

TEST(SelectionURLTest, FirstItemOfAName) {
    EXPECT_EQ(parsed("pivorel://select?Text=no&text=one&text=two").text, "one");
    EXPECT_EQ(parsed("pivorel://select?te%78t=encoded&text=plain").text, "encoded");
    EXPECT_EQ(error("pivorel://select?text&text=later"), E{E::EmptyText{}});
    EXPECT_EQ(error("pivorel://select?text=%20%09%E3%80%80"), E{E::EmptyText{}});
    EXPECT_EQ(error("pivorel://select?app=code"), E{E::EmptyText{}});
    EXPECT_EQ(error("pivorel://select"), E{E::EmptyText{}});
}

TEST(SelectionURLTest, GarbageEscapesAndBytesNeverBreakTheText) {
    EXPECT_EQ(parsed("pivorel://select?text=100%25%zz%4").text, "100%%zz%4");
    EXPECT_EQ(parsed("pivorel://select?text=%FF%C3%28ok").text, "\uFFFD\uFFFD(ok");
    const SelectRequest raw = parsed("pivorel://select?text=a\xF0\x9F&app=\xC3");
    EXPECT_EQ(raw.text, "a\uFFFD");
    EXPECT_EQ(raw.app, "\uFFFD");
    EXPECT_TRUE(text::isValidUtf8(parsed("pivorel://select?text=%ED%A0%80%00z").text));

    std::string longText;
    for (int i = 0; i < 25000; ++i) longText += "%E4%B8%AD";
    const std::string cut = parsed("pivorel://select?text=" + longText).text;
    EXPECT_EQ(text::graphemeCount(cut), SelectionURL::maxTextLength);
    EXPECT_EQ(cut.size(), 3 * SelectionURL::maxTextLength);
}

TEST(SelectionURLTest, OtherSchemesAndHostsAreRefused) {
    for (const char* url : {"https://select?text=a", "pivorelx://select?text=a", "select?text=a",
                            "", "://select", "1pivorel://select?text=a", "pivo rel://select"}) {
        EXPECT_EQ(error(url), E{E::WrongScheme{}}) << url;
    }
    EXPECT_EQ(error("pivorel://Close?text=a"), E{E::UnknownHost{"close"}});
    EXPECT_EQ(error("pivorel:select?text=a"), E{E::UnknownHost{""}});
    EXPECT_EQ(error("pivorel://selection/?text=a"), E{E::UnknownHost{"selection"}});

    EXPECT_EQ(error("pivorel://a\nb?text=x").description(), "unknownHost(a%0Ab)");
    EXPECT_EQ(E{E::WrongScheme{}}.description(), "wrongScheme");
    EXPECT_EQ(E{E::EmptyText{}}.description(), "emptyText");
}

}  // namespace
