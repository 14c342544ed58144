#include "BrisendoKit/Selection/SelectionReader.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Selection/SelectionURL.h"
#include "BrisendoKit/Support/Text.h"
#include "Fakes/FakeDesktop.h"

using namespace pivorel;

namespace {

using R = SelectionDetector::ReadResult;
const std::string code = "code";

class SelectionReaderTest : public ::testing::Test {
  protected:
    test::FakeAccessibility ax;
    test::FakeWorkspace desktop;
    test::FakePasteboard board;
    SelectionReader reader{ax, desktop, board, [] {}};

    void SetUp() override {
        desktop.front = code;
        ax.document = "https://example.com/a";
    }
    SelectionReader::BarRead bar(bool allowCopy = false, std::set<std::string> apps = {code}) {
        return reader.readForBar({10, 20}, apps, allowCopy);
    }
    // A Copy in `code` that puts `text` on the pasteboard.
    void copyGives(std::string text) {
        ax.menus[{code, 'C'}] = true;
        ax.onPress = [this, text](const std::string&, char) { board.setString(text); };
    }
};

TEST_F(SelectionReaderTest, TextIsTrimmedAndCarriesAppAddressAndEditability) {
    ax.systemText = "  \n";
    ax.appText = "\thello\xC3 ";
    ax.focusRole = "AXTextArea";
    EXPECT_EQ(bar(), (SelectionReader::BarRead{R::Text{"hello\xEF\xBF\xBD"}, code,
                                               "https://example.com/a", true}));
    EXPECT_EQ(ax.roleQueries, (std::vector<Point>{Point{10, 20}}));

    ax.systemText = "first";
    ax.focusRole = "AXStaticText";
    ax.document = "file:///home/me/notes.txt";
    EXPECT_EQ(bar(), (SelectionReader::BarRead{R::Text{"first"}, code, std::nullopt, false}));
    ax.settable = true;
    EXPECT_TRUE(bar().editable);

    // Without a frontmost application only the desktop-wide selection is asked.
    desktop.front.reset();
    ax.systemText.reset();
    EXPECT_EQ(bar().result, R(R::Empty{"no-selection"}));
}

TEST_F(SelectionReaderTest, TargetsThatMustNotBeReadAreIgnored) {
    ax.systemText = "selected elsewhere";
    ax.role = "AXButton";
    EXPECT_EQ(bar(), (SelectionReader::BarRead{R::Ignored{"non-text-target"}, code,
                                               "https://example.com/a", false}));
    ax.role = "AXTextField";
    ax.focusSubrole = "AXSecureTextField";
    EXPECT_EQ(bar().result, R(R::Ignored{"secure-field"}));

    ax.focusSubrole.reset();
    std::string limit;
    for (int i = 0; i < 20000; ++i) limit += i % 2 ? "a" : "\xE4\xB8\xAD";
    ax.systemText = limit;
    EXPECT_EQ(bar().result, R(R::Text{limit}));
    ax.systemText = limit + "a";
    EXPECT_EQ(bar().result, R(R::Ignored{"too-long"}));

    ax.trusted = false;
    EXPECT_EQ(bar(), (SelectionReader::BarRead{R::Unavailable{"not-trusted"}, std::nullopt,
                                               std::nullopt}));
}

TEST_F(SelectionReaderTest, ObjectCharactersGoBulletsArePasswordsAndHiddenPagesAreNotRecorded) {
    const std::string object = "\xEF\xBF\xBC";
    const struct {
        std::string selected;
        R result;
    } cases[] = {
        {"\n" + object, R::Empty{"no-selection"}},
        {" a" + object + "b" + object + " ", R::Text{"ab"}},
        {"\xE2\x97\x8F\xE2\x97\x8F\xE2\x97\x8F", R::Ignored{"secure-field"}},
        {" \xE2\x80\xA2\xE2\x80\xA2 ", R::Ignored{"secure-field"}},
        {"\xE2\x80\xA2 list item", R::Text{"\xE2\x80\xA2 list item"}},
    };
    for (const auto& c : cases) {
        ax.systemText = c.selected;
        EXPECT_EQ(bar().result, c.result) << c.selected;
        EXPECT_FALSE(bar().unrecorded);
    }

    ax.hidden = true;
    ax.systemText = "hunter2";
    EXPECT_EQ(bar().result, R(R::Text{"hunter2"}));
    EXPECT_TRUE(bar().unrecorded);
    ax.systemText.reset();
    copyGives(object + "\n");
    EXPECT_EQ(bar(true).result, R(R::Empty{"copy-notText"}));
    copyGives("copied");
    EXPECT_TRUE(bar(true).unrecorded);
}

TEST_F(SelectionReaderTest, CopyFallbackRunsOnlyWhenAllowedForTheApp) {
    copyGives(" copied ");
    board.items = {{{"UTF8_STRING", "user's"}}};
    EXPECT_EQ(bar(false).result, R(R::Empty{"no-selection"}));
    EXPECT_EQ(bar(true, {"firefox"}).result, R(R::Empty{"no-selection"}));
    EXPECT_TRUE(ax.presses.empty());

    ax.focusRole = "AXTextArea";
    EXPECT_EQ(bar(true), (SelectionReader::BarRead{R::Text{" copied "}, code,
                                                   "https://example.com/a", false}));
    EXPECT_EQ(ax.presses, (std::vector<std::pair<std::string, char>>{{code, 'C'}}));
    EXPECT_EQ(board.string(), "user's");

    ax.onPress = nullptr;
    EXPECT_EQ(bar(true).result, R(R::Empty{"copy-clipboardUnchanged"}));
    ax.menus[{code, 'C'}] = false;
    EXPECT_EQ(bar(true).result, R(R::Empty{"copy-triggerFailed"}));
}

TEST_F(SelectionReaderTest, HotKeyReadSkipsTheBarTestsAndTheFallback) {
    ax.role = "AXButton";
    ax.focusSubrole = "AXSecureTextField";
    ax.appText = std::string(25000, 'x') + "\n";
    EXPECT_EQ(std::get<SelectionReader::Selection>(reader.read()),
              (SelectionReader::Selection{std::string(25000, 'x'), code, "https://example.com/a"}));

    ax.appText.reset();
    copyGives("copied");
    EXPECT_EQ(std::get<SelectionReader::Failure>(reader.read()),
              SelectionReader::Failure::noSelection);
    EXPECT_TRUE(ax.presses.empty());
    ax.trusted = false;
    EXPECT_EQ(std::get<SelectionReader::Failure>(reader.read()),
              SelectionReader::Failure::notTrusted);
}

TEST_F(SelectionReaderTest, EditsPressTheMenuOfTheNamedOrFrontmostApp) {
    using Edit = SelectionReader::EditResult;
    using C = SelectionReader::EditCommand;
    desktop.running = {{"gedit", "Text Editor"}};
    ax.menus[{code, 'V'}] = true;
    EXPECT_EQ(reader.performEdit(C::paste, "gedit"), Edit::noMenu);
    EXPECT_EQ(reader.performEdit(C::paste, "not-running"), Edit::pressed);
    EXPECT_EQ(ax.presses.back(), (std::pair<std::string, char>{code, 'V'}));

    desktop.front.reset();
    EXPECT_EQ(reader.performEdit(C::paste, std::nullopt), Edit::noMenu);
    ax.trusted = false;
    EXPECT_EQ(reader.performEdit(C::cut, "gedit"), Edit::noMenu);
}

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

    for (const char* dry : {"1", "yes", "YES", "true"})
        EXPECT_TRUE(parsed(std::string("pivorel://select?text=x&dry=") + dry).dry) << dry;
    for (const char* dry : {"on", "0", "", " 1"})
        EXPECT_FALSE(parsed(std::string("pivorel://select?text=x&dry=") + dry).dry) << dry;
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
                            "", "://select", "1pivorel://select?text=a", "pivo rel://select"})
        EXPECT_EQ(error(url), E{E::WrongScheme{}}) << url;
    EXPECT_EQ(error("pivorel://Close?text=a"), E{E::UnknownHost{"close"}});
    EXPECT_EQ(error("pivorel:select?text=a"), E{E::UnknownHost{""}});
    EXPECT_EQ(error("pivorel://selection/?text=a"), E{E::UnknownHost{"selection"}});
}

}  // namespace
