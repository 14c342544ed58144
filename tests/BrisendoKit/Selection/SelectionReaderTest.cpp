#include "BrisendoKit/Selection/SelectionReader.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Selection/CopyFallback.h"
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
    int pauses = 0;
    SelectionReader reader{ax, desktop, board, [this] { ++pauses; }};

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
    EXPECT_EQ(pauses, 10);
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
    using E = SelectionReader::EditResult;
    using C = SelectionReader::EditCommand;
    desktop.running = {{"gedit", "Text Editor"}};
    ax.menus[{"gedit", 'X'}] = true;
    ax.menus[{"gedit", 'C'}] = false;
    ax.menus[{code, 'V'}] = true;
    EXPECT_EQ(reader.performEdit(C::cut, "gedit"), E::pressed);
    EXPECT_EQ(reader.performEdit(C::copy, "gedit"), E::disabled);
    EXPECT_EQ(reader.performEdit(C::paste, "gedit"), E::noMenu);
    EXPECT_EQ(reader.performEdit(C::paste, "not-running"), E::pressed);
    EXPECT_EQ(ax.presses.back(), (std::pair<std::string, char>{code, 'V'}));

    desktop.front.reset();
    EXPECT_EQ(reader.performEdit(C::paste, std::nullopt), E::noMenu);
    ax.trusted = false;
    EXPECT_EQ(reader.performEdit(C::cut, "gedit"), E::noMenu);
}

using Items = std::vector<PasteboardLike::Item>;
const Items userItems{{{"UTF8_STRING", "mine"}, {"text/html", "<b>mine</b>"}}};

struct CopyRun {
    test::FakePasteboard board;
    int pauses = 0;
    int copyAfterPauses = -1;  // -1: the copy never lands
    Items copied;

    Result<std::string, CopyFallback::Failure> read(bool triggered = true) {
        board.items = userItems;
        return CopyFallback::read(
            board,
            [&] {
                if (triggered && copyAfterPauses == 0) land();
                return triggered;
            },
            [&] {
                if (++pauses == copyAfterPauses) land();
            });
    }
    void land() {
        board.items = copied;
        ++board.count;
    }
};

TEST(CopyFallbackTest, CopiedTextIsReturnedUntrimmedAndTheUserPasteboardComesBack) {
    CopyRun late;
    late.copyAfterPauses = 2;
    late.copied = {{{"UTF8_STRING", " word\n"}}};
    const auto word = late.read();
    ASSERT_TRUE(word.ok());
    EXPECT_EQ(*word, " word\n");
    EXPECT_EQ(late.pauses, 2);
    EXPECT_EQ(late.board.restores, 1);
    EXPECT_EQ(late.board.items, userItems);

    // A copy that lands at once is seen before any pause; invalid bytes are repaired.
    CopyRun early;
    early.copyAfterPauses = 0;
    early.copied = {{{"UTF8_STRING", "a\xFF"}}};
    EXPECT_EQ(early.read().valueOr(""), "a\xEF\xBF\xBD");
    EXPECT_EQ(early.pauses, 0);
}

TEST(CopyFallbackTest, FailuresRestoreOnlyWhatTheCopyChanged) {
    CopyRun unchanged;
    EXPECT_EQ(unchanged.read().error(), CopyFallback::Failure::clipboardUnchanged);
    EXPECT_EQ(unchanged.pauses, CopyFallback::defaultMaxChecks);
    EXPECT_EQ(unchanged.board.restores, 0);

    CopyRun refused;
    refused.copyAfterPauses = 0;
    EXPECT_EQ(refused.read(false).error(), CopyFallback::Failure::triggerFailed);
    EXPECT_EQ(refused.pauses, 0);
    EXPECT_EQ(refused.board.restores, 0);
    EXPECT_EQ(refused.board.count, 0);

    for (const Items& copied :
         {Items{{{"image/png", "\x89PNG"}}}, Items{{{"UTF8_STRING", " \n\t\u3000"}}}}) {
        CopyRun image;
        image.copyAfterPauses = 1;
        image.copied = copied;
        EXPECT_EQ(image.read().error(), CopyFallback::Failure::notText);
        EXPECT_EQ(image.board.restores, 1);
        EXPECT_EQ(image.board.items, userItems);
    }
}

}  // namespace
