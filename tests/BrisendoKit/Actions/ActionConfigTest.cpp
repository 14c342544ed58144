#include "BrisendoKit/Actions/ActionConfig.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Actions/ActionCatalog.h"

using namespace pivorel;

namespace {

CustomAction custom(std::string id, std::string urlTemplate = "https://example.com/?q={text}") {
    return CustomAction{std::move(id), "名字", "link", std::move(urlTemplate), {}};
}

const char* const kInvalidLink = "不是有效的链接，应形如 https://…?q={text}";

std::optional<std::string> expand(std::string_view t, std::string_view text) {
    return URLTemplate::expand(t, text, std::nullopt);
}

}  // namespace

TEST(ActionConfig, NormalizationRepairsOrderCustomAndHidden) {
    EXPECT_EQ(ActionConfig::defaultConfig().normalized(), ActionConfig::defaultConfig());
    ActionConfig c;
    c.version = 0;
    c.order = {"openURL", "custom:b", "bogus", "openURL", "noprefix", "custom:a", "Custom:x"};
    c.hidden = {"copy", "noprefix", "copy", "bogus", "custom:a"};
    c.custom = {custom("custom:a"), custom("noprefix"), custom("custom:b"),
                custom("custom:a", "https://dup.example/?q={text}"), custom("custom:c")};
    c.barCount = -50;
    c.smartRanking = false;
    EXPECT_EQ(c.customAction(ActionID("custom:a"))->urlTemplate, "https://example.com/?q={text}");

    const ActionConfig n = c.normalized();
    EXPECT_EQ(n.version, 1);
    EXPECT_FALSE(n.smartRanking);
    EXPECT_EQ(n.barCount, 3);
    ASSERT_EQ(n.custom.size(), 3u);
    EXPECT_EQ(n.custom[0].urlTemplate, "https://example.com/?q={text}");  // the first wins
    EXPECT_EQ(n.custom[1].id, "custom:b");
    std::vector<std::string> expected{"openURL", "custom:b", "custom:a"};
    for (const auto& id : ActionConfig::defaultOrderStrings()) {
        if (id != "openURL") expected.push_back(id);
    }
    expected.push_back("custom:c");
    EXPECT_EQ(n.order, expected);
    EXPECT_EQ(n.hidden, (std::vector<std::string>{"copy", "copy", "custom:a"}));  // repeats stay
    EXPECT_EQ(n.normalized(), n);
    EXPECT_EQ(c.orderedActions().front(), ActionID::openURL());

    c.barCount = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(c.normalized().barCount, 6);
}

TEST(URLTemplate, ValidationMessagesInOrder) {
    CustomAction a = custom("custom:1");
    a.name = " \n\u3000";
    EXPECT_EQ(a.validationError(), "请填一个名称");
    a.name = "ok";
    a.urlTemplate = "  \t\n";
    EXPECT_EQ(a.validationError(), "请填 URL 模板");

    const std::string space = "模板里不能有空格", noHost = "缺少域名";
    for (const auto& [t, message] : std::vector<std::pair<const char*, std::string>>{
             {"https://a.com/?q={text} x", space},
             {"https://a.com/?q=\u00A0{text}", space},
             {"https://a.com/?q={query}", "模板里要有 {text}（会换成选中的文字）"},
             {"javascript:alert({text})", kInvalidLink},
             {"example.com/?q={text}", kInvalidLink},
             {"https://a.com:99999/?q={text}", kInvalidLink},
             {"p:/{url}/://x?q={text}", kInvalidLink},  // "p://://x"
             // The text cannot choose the scheme: with the sample text "x" these would pass.
             {"{text}://example.com", kInvalidLink},
             {"java{text}://example.com", kInvalidLink},
             {"https://?q={text}", noHost},
             {"http:///search?q={text}", noHost},
             // Blocked schemes are named in any case, even where curl would not parse the rest.
             {"FILE:///{text}", "不支持 file:// 协议"},
             {"ftp://x/{text}", "不支持 ftp:// 协议"},
             {"JaVaScRiPt://alert({text})", "不支持 javascript:// 协议"},
             {"javascript:/x://{text}", "不支持 javascript:// 协议"}})
        EXPECT_EQ(URLTemplate::validate(t), message) << t;
    for (const char* ok : {"HTTPS://a.com/?q={text}\u3000", "https://user:pw@a.com:8443/s?q={text}",
                           "https://[::1]:8080/s?q={text}", "https://a.com/?u={url}",
                           "myapp:///search?q={text}", "myapp://?q={text}"}) {
        EXPECT_EQ(URLTemplate::validate(ok), std::nullopt) << ok;
    }
}

TEST(URLTemplate, ExpandEncodesTheTextExactly) {
    const std::string t = "https://a.com/?q={text}";
    EXPECT_EQ(expand(t, "a b&c"), "https://a.com/?q=a%20b%26c");
    EXPECT_EQ(expand(t, "Az09-._~+/=?%"), "https://a.com/?q=Az09-._~%2B%2F%3D%3F%25");
    // Letters are kept by the text encoding, then encoded as UTF-8 for the URL.
    EXPECT_EQ(expand(t, "中文é"), "https://a.com/?q=%E4%B8%AD%E6%96%87%C3%A9");
    EXPECT_EQ(expand(t, "\u05E9\u05DC\u200F"), "https://a.com/?q=%D7%A9%D7%9C%E2%80%8F");  // RTL
    EXPECT_EQ(expand(t, "😀"), "https://a.com/?q=%F0%9F%98%80");
    EXPECT_EQ(expand(t, std::string("a\xFF", 2)), "https://a.com/?q=a%EF%BF%BD");
    EXPECT_EQ(expand(t, " \n"), "https://a.com/?q=%20%0A");  // the text is not trimmed
    EXPECT_EQ(URLTemplate::percentEncode("e\u0301١٢_!"), "e\u0301١٢_%21");  // mark, digits
    // Nothing in the text can end a scheme or start an authority or a path.
    EXPECT_EQ(expand("myapp:{text}", "javascript://alert(1)"),
              "myapp:javascript%3A%2F%2Falert%281%29");
    EXPECT_EQ(expand("https://a.com/{text}", "x/../b?c#d"), "https://a.com/x%2F..%2Fb%3Fc%23d");

    // Placeholders inside the text or the page address are not expanded again.
    EXPECT_EQ(URLTemplate::expand("https://a.com/?q={text}&from={url}", "{text}{url}",
                                  "https://p.org/x?y=1"),
              "https://a.com/?q=%7Btext%7D%7Burl%7D&from=https%3A%2F%2Fp.org%2Fx%3Fy%3D1");
    EXPECT_EQ(expand("https://a.com/?u={url}", "ignored"), "https://a.com/?u=");
}

TEST(URLTemplate, ExpandKeepsTheFirst2000Characters) {
    EXPECT_EQ(expand("https://a.com/?q={text}", std::string(3000, 'a')),
              "https://a.com/?q=" + std::string(2000, 'a'));
    // Characters are what a person sees: a family emoji is one, though eighteen bytes.
    const std::string family = "👨‍👩‍👧";
    std::string text, expected = "https://a.com/?q=";
    for (int i = 0; i < 3000; ++i) text += family;
    for (int i = 0; i < 2000; ++i) expected += URLTemplate::percentEncode(family);
    EXPECT_EQ(expand("https://a.com/?q={text}", text), expected);
    // The page address is not shortened.
    const std::string page(3000, 'b');
    EXPECT_EQ(URLTemplate::expand("https://a.com/?u={url}", "", page), "https://a.com/?u=" + page);
}

TEST(URLTemplate, ResultsAreASCIIURLsThatKeepTheTemplatesShape) {
    for (const auto& [t, text, expected] :
         std::vector<std::tuple<const char*, const char*, std::optional<std::string>>>{
             // No slash is added or dropped, no host made of the path.
             {"things:///add?title={text}", "买菜", "things:///add?title=%E4%B9%B0%E8%8F%9C"},
             {"obsidian://search?query={text}", "x", "obsidian://search?query=x"},
             {"myapp:///{text}", "a b", "myapp:///a%20b"},
             {" https://user:pw@example.com:8443/s?q={text} ", "x",
              "https://user:pw@example.com:8443/s?q=x"},
             // Characters a URL may not hold, typed into the template itself.
             {"https://zh.wikipedia.org/wiki/特殊:搜索?search={text}&a=[1]|{}", "x",
              "https://zh.wikipedia.org/wiki/%E7%89%B9%E6%AE%8A:%E6%90%9C%E7%B4%A2?search=x"
              "&a=%5B1%5D%7C%7B%7D"},
             {"https://www.deepl.com/translator#en/zh/{text}#x", "a#b",
              "https://www.deepl.com/translator#en/zh/a%23b%23x"},
             {"https://a.com/?q={text}&p=100%&r=%41", "x", "https://a.com/?q=x&p=100%25&r=%41"},
             // A host spelled with letters becomes its IDNA form; one that cannot be a host fails.
             {"https://{text}.example/", "中文", "https://xn--fiq228c.example/"},
             {"https://{text}.example/", "a b", std::nullopt},
             {"no scheme {text}", "x", std::nullopt}})
        EXPECT_EQ(expand(t, text), expected) << t;
}
