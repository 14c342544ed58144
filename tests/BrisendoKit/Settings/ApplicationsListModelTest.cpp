#include "BrisendoKit/Settings/ApplicationsListModel.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

struct Fixture {
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "com.morvale.pivorel.json";
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(file);
};

using Kind = ApplicationsListModel::Kind;

}  // namespace

TEST(ApplicationsListModel, AddingTrimsAndSkipsRepeatsRemovingStoresTheRestAndOthersWritesShow) {
    Fixture f;
    ApplicationsListModel excluded(Kind::excluded, BarSettings(f.defaults));
    int changes = 0;
    auto watch = excluded.changed.connect([&] { ++changes; });
    const auto defaults = BarSettings::defaultExcluded();
    EXPECT_EQ(excluded.apps(), defaults);

    EXPECT_TRUE(excluded.add("  org.gnome.Terminal\n"));
    auto expected = defaults;
    expected.push_back("org.gnome.Terminal");
    EXPECT_EQ(UserDefaults(f.file).stringArray("barExcludedApps"), expected);
    EXPECT_FALSE(excluded.add("org.gnome.Terminal"));
    EXPECT_FALSE(excluded.add(" \t"));
    EXPECT_EQ(excluded.apps(), expected);
    EXPECT_EQ(changes, 1);

    // Removing every entry stores an empty list, which stays empty (not the defaults).
    for (const auto& id : expected) excluded.remove(id);
    excluded.remove("not.listed");
    EXPECT_TRUE(excluded.apps().empty());
    EXPECT_EQ(UserDefaults(f.file).stringArray("barExcludedApps"), std::vector<std::string>{});

    // The two lists are kept apart.
    ApplicationsListModel fallback(Kind::copyFallback, BarSettings(f.defaults));
    EXPECT_TRUE(fallback.apps().empty());
    EXPECT_TRUE(fallback.add("code"));
    EXPECT_EQ(f.defaults->stringArray("barCopyFallbackApps"), std::vector<std::string>{"code"});
    EXPECT_TRUE(excluded.apps().empty());

    // Return in the field adds, and always empties it.
    fallback.setManual(" xterm ");
    EXPECT_TRUE(fallback.submitManual());
    EXPECT_TRUE(fallback.manual().empty());
    fallback.setManual("xterm");
    EXPECT_FALSE(fallback.submitManual());
    EXPECT_TRUE(fallback.manual().empty());
    EXPECT_EQ(fallback.apps(), (std::vector<std::string>{"code", "xterm"}));

    // Another writer's change reaches the views too.
    int fallbackChanges = 0;
    auto fallbackWatch = fallback.changed.connect([&] { ++fallbackChanges; });
    f.defaults->set("barCopyFallbackApps", std::vector<std::string>{"a", "b"});
    f.defaults->set("llmModel", "unrelated");
    EXPECT_EQ(fallbackChanges, 1);
    EXPECT_EQ(fallback.apps(), (std::vector<std::string>{"a", "b"}));
}

TEST(ApplicationsListModel, TheRunningMenuOffersRegularUnlistedAppsOnceSortedByLocalizedName) {
    Fixture f;
    f.defaults->set("barCopyFallbackApps", std::vector<std::string>{"org.gnome.Terminal"});
    ApplicationsListModel fallback(Kind::copyFallback, BarSettings(f.defaults));
    const std::vector<RunningApp> running{
        {"org.gnome.Terminal", "终端", true},  // listed already
        {"firefox-esr", "火狐", true},         // huo
        {"org.gnome.Nautilus", "文件", true},  // wen
        {"plasmashell", "Plasma", false},      // no window of its own
        {"", "无名", true},                    // no identifier
        {"firefox-esr", "火狐", true},         // a second window
        {"thunderbird", "Thunderbird", true},
        {"chromium", "浏览器", true},  // liu
    };
    std::vector<std::string> order;
    for (const auto& app : fallback.runningChoices(running)) order.push_back(app.bundleID);
    // Pinyin order in Simplified Chinese, Han before Latin; byte order would differ.
    EXPECT_EQ(order, (std::vector<std::string>{"firefox-esr", "chromium", "org.gnome.Nautilus",
                                               "thunderbird"}));
}
