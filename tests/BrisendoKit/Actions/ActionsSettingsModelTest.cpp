#include "BrisendoKit/Actions/ActionsSettingsModel.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> raw(const std::vector<ActionID>& ids) {
    std::vector<std::string> out;
    for (const auto& id : ids) out.push_back(id.rawValue);
    return out;
}

CustomAction custom(std::string id, std::string name = "名字") {
    return CustomAction{std::move(id), std::move(name), "link", "https://a.com/?q={text}", {}};
}

ExtensionPreset site(std::string id, std::string name, std::string symbol, std::string url) {
    return {std::move(id), std::move(name), std::move(symbol), std::move(url), "其他", "", {}};
}

struct ActionsSettingsModelTest : ::testing::Test {
    test::TempDir dir;
    ActionConfigStore store{dir.path() / "actions.json"};
    ActionsSettingsModel model{store};
    int published = 0;
    Connection connection = model.changed.connect([this] { ++published; });

    ActionConfig onDisk() const { return store.load(); }
    std::vector<std::string> order() const { return raw(model.actions()); }
};

}  // namespace

TEST_F(ActionsSettingsModelTest, EveryEditIsNormalizedPublishedAndSaved) {
    EXPECT_FALSE(fs::exists(store.url));
    model.setSmart(false);
    EXPECT_FALSE(onDisk().smartRanking);
    model.setBarCount(10);
    EXPECT_EQ(model.config().barCount, 6);
    EXPECT_EQ(onDisk().barCount, 6);
    model.setHidden(ActionID::copy(), true);
    model.setHidden(ActionID::copy(), true);
    EXPECT_EQ(onDisk().hidden, std::vector<std::string>{"copy"});
    model.setHidden(ActionID::copy(), false);
    EXPECT_TRUE(onDisk().hidden.empty());
    EXPECT_EQ(published, 5);
    EXPECT_EQ(ActionsSettingsModel(store).config(), model.config());

    // A failed write keeps the edit in memory.
    std::ofstream(dir.path() / "file") << "x";
    ActionsSettingsModel broken(ActionConfigStore{dir.path() / "file" / "actions.json"});
    broken.setBarCount(5);
    EXPECT_FALSE(broken.lastSaveSucceeded());
    EXPECT_EQ(broken.config().barCount, 5);
}

TEST_F(ActionsSettingsModelTest, MoveCountsTheDestinationBeforeTheMove) {
    const auto original = order();  // ask flomo translate google ...
    model.move({0}, 2);
    auto moved = order();
    moved.resize(3);
    EXPECT_EQ(moved, (std::vector<std::string>{"flomo", "ask", "translate"}));
    model.move({1}, 0);
    EXPECT_EQ(order(), original);

    model.move({2, 0}, 13);  // to the end, keeping their order
    EXPECT_EQ(order()[11], "ask");
    EXPECT_EQ(order()[12], "translate");
    EXPECT_EQ(onDisk().order, order());

    // Offsets out of range are ignored; nothing is lost or repeated.
    model.move({3, 3, 77}, 99);
    model.move({40}, 0);
    auto sorted = order(), expected = original;
    std::sort(sorted.begin(), sorted.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
}

TEST_F(ActionsSettingsModelTest, UpsertAppendsOrReplacesInPlace) {
    model.upsert(custom("custom:1", "一"));
    model.upsert(custom("custom:2", "二"));
    EXPECT_EQ(order().back(), "custom:2");
    model.move({13}, 0);
    model.upsert(custom("custom:1", "改名"));
    EXPECT_EQ(order().front(), "custom:1");
    EXPECT_EQ(model.catalog().title(ActionID("custom:1")), "改名");
    EXPECT_EQ(onDisk().custom.size(), 2u);
}

TEST_F(ActionsSettingsModelTest, RemovingAndResetting) {
    model.upsert(custom("custom:1"));
    model.setHidden(ActionID("custom:1"), true);
    model.setHidden(ActionID::ask(), true);

    // A built-in cannot go: it moves to the end, after the custom actions, and is shown.
    model.remove(ActionID::ask());
    EXPECT_EQ(order().size(), 14u);
    EXPECT_EQ(order()[12], "custom:1");
    EXPECT_EQ(order()[13], "ask");
    EXPECT_EQ(model.config().hidden, std::vector<std::string>{"custom:1"});

    model.remove(ActionID("custom:1"));
    EXPECT_TRUE(model.config().custom.empty());
    EXPECT_TRUE(model.config().hidden.empty());
    EXPECT_EQ(order().size(), 13u);

    model.upsert(custom("custom:2"));
    model.upsert(custom("custom:3"));
    model.move({14}, 0);
    model.setHidden(ActionID::kagi(), true);
    model.setBarCount(6);
    model.setSmart(false);
    model.resetToDefaults();
    auto expected = ActionConfig::defaultOrderStrings();
    expected.insert(expected.end(), {"custom:2", "custom:3"});
    const ActionConfig reset = onDisk();
    EXPECT_EQ(reset.order, expected);
    EXPECT_TRUE(reset.hidden.empty());
    EXPECT_TRUE(reset.smartRanking);
    EXPECT_EQ(reset.barCount, 4);
    EXPECT_EQ(reset.custom.size(), 2u);
}

TEST_F(ActionsSettingsModelTest, AddingAPresetOnce) {
    const ExtensionPreset bing =
        site("bing", "Bing 搜索", "magnifyingglass", "https://www.bing.com/search?q={text}");
    EXPECT_FALSE(model.isAdded(bing));
    EXPECT_TRUE(model.add(bing));
    EXPECT_TRUE(model.isAdded(bing));
    EXPECT_FALSE(model.add(bing));
    ASSERT_EQ(onDisk().custom.size(), 1u);
    EXPECT_EQ(onDisk().custom[0].presetID, "bing");
    EXPECT_EQ(order().back(), onDisk().custom[0].id);
    EXPECT_EQ(published, 1);

    // The same template typed in by hand counts as added; an unusable preset is refused.
    const ExtensionPreset baidu =
        site("baidu", "百度搜索", "magnifyingglass.circle", "https://www.baidu.com/s?wd={text}");
    model.upsert(
        {CustomAction::newID(), "百度", "link", " HTTPS://www.Baidu.com/s?wd={TEXT} ", {}});
    EXPECT_TRUE(model.isAdded(baidu));
    EXPECT_FALSE(model.add(baidu));
    EXPECT_FALSE(model.add(site("broken", "坏的", "link", "https://x.com/")));
    EXPECT_EQ(onDisk().custom.size(), 2u);
}
