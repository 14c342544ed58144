#include "BrisendoKit/Actions/ActionConfigStore.h"

#include <gtest/gtest.h>

#include <fstream>

#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {

const TimePoint kNow = fromUnixSeconds(1700000000.75);

struct ActionConfigStoreTest : ::testing::Test {
    test::TempDir dir;
    ActionConfigStore store{dir.path() / "actions.json"};
    fs::path corruptPath = dir.path() / "actions.json.corrupt-1700000000";

    void write(const std::string& bytes) { std::ofstream(store.url, std::ios::binary) << bytes; }
    ActionConfig load(const std::string& bytes) {
        write(bytes);
        return store.load(kNow);
    }

    // Loads a file that must not decode: the defaults come back and the file is kept aside.
    void expectSetAside(const std::string& bytes) {
        LogCapture log;
        EXPECT_EQ(load(bytes), ActionConfig::defaultConfig()) << bytes.substr(0, 80);
        EXPECT_FALSE(fs::exists(store.url));
        EXPECT_EQ(fileio::readFile(corruptPath), bytes);
        EXPECT_TRUE(log.contains("actions.json.corrupt-1700000000"));
        fs::remove(corruptPath);
    }
};

std::vector<std::string> raw(const std::vector<ActionID>& ids) {
    std::vector<std::string> out;
    for (const auto& id : ids) out.push_back(id.rawValue);
    return out;
}

CustomAction custom(std::string id, std::string name = "名字") {
    return CustomAction{std::move(id), std::move(name), "link", "https://a.com/?q={text}", {}};
}

struct ActionsSettingsModelTest : ActionConfigStoreTest {
    ActionsSettingsModel model{store};
    int published = 0;
    Connection connection = model.changed.connect([this] { ++published; });

    ActionConfig onDisk() const { return store.load(); }
    std::vector<std::string> order() const { return raw(model.actions()); }
};

}  // namespace

TEST_F(ActionConfigStoreTest, WhatDecodesIsRepairedNotRejected) {
    EXPECT_EQ(store.load(kNow), ActionConfig::defaultConfig());
    EXPECT_TRUE(fs::is_empty(dir.path()));  // a missing file is not written
    EXPECT_EQ(load("{}"), ActionConfig::defaultConfig());
    EXPECT_EQ(load(R"({"barCount": 5.0, "version": 7})").version, 1);

    // A custom id without the prefix goes, and with it its place in order and hidden.
    // Unknown keys are ignored, null counts as missing, the last of repeated keys wins,
    // and "\/" reads as "/".
    const ActionConfig c = load(R"({"future": {"a": [1]}, "smartRanking": null,
        "custom": [{"id": "abc", "name": "n", "symbol": "s", "urlTemplate": "u"},
                   {"id": "custom:1", "name": "first", "symbol": "s", "presetID": null,
                    "urlTemplate": "https:\/\/a.com/?q={text}", "extra": 1},
                   {"id": "custom:1", "name": "second", "symbol": "s", "urlTemplate": "u"}],
        "order": ["abc", "custom:1"], "hidden": ["abc", "ask"], "barCount": 3, "barCount": 5})");
    ASSERT_EQ(c.custom.size(), 1u);
    EXPECT_EQ(c.custom[0], (CustomAction{"custom:1", "first", "s", "https://a.com/?q={text}", {}}));
    EXPECT_EQ(c.order.front(), "custom:1");
    EXPECT_EQ(c.hidden, std::vector<std::string>{"ask"});
    EXPECT_EQ(c.barCount, 5);
    EXPECT_TRUE(c.smartRanking);
    EXPECT_TRUE(fs::exists(store.url));

    // Ten megabytes still load.
    std::string big = R"({"padding": ")" + std::string(5 << 20, 'x') + R"(", "order": [)";
    while (big.size() < (10u << 20)) big += R"("lookup", "custom:gone", )";
    const ActionConfig large = load(big + R"("ask"], "barCount": 6})");
    EXPECT_EQ(large.order.front(), "lookup");
    EXPECT_EQ(large.order.size(), 13u);
    EXPECT_EQ(large.barCount, 6);
}

TEST_F(ActionConfigStoreTest, UndecodableFilesAreSetAside) {
    for (const std::string& bytes : std::vector<std::string>{
             "", "  \n", "[]", "null", "{\"order\": []",  // not an object, truncated
             R"({"barCount": "4"})", R"({"barCount": 4.5})", R"({"barCount": 1e30})",
             R"({"smartRanking": 1})", R"({"order": ["ask", 3]})", R"({"hidden": "ask"})",
             R"({"custom": {}})",
             R"({"custom": [{"id": "custom:1", "name": "n", "urlTemplate": "u"}]})",
             R"({"custom": [{"id": "custom:1", "name": "n", "symbol": 1, "urlTemplate": "u"}]})",
             R"({"custom": [{"id": "custom:1", "name": "n", "symbol": "s", "urlTemplate": "u",
                 "presetID": 2}]})",
             "{\"order\": [\"ask\xFF\"]}",  // ill-formed UTF-8
             std::string(100, '[') + std::string(100, ']'), std::string(10u << 20, '{'),
             std::string(10u << 20, '\xC3')}) {
        expectSetAside(bytes);
    }
}

TEST_F(ActionConfigStoreTest, AFailedMoveIsRetriedByTheNextLoad) {
    fs::create_directory(corruptPath);  // the name is taken by a non-empty directory
    std::ofstream(corruptPath / "keep") << "x";
    LogCapture log;
    EXPECT_EQ(load("garbage"), ActionConfig::defaultConfig());
    EXPECT_EQ(fileio::readFile(store.url), "garbage");
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(store.load(kNow + std::chrono::seconds(1)), ActionConfig::defaultConfig());
    EXPECT_FALSE(fs::exists(store.url));
    EXPECT_TRUE(fs::exists(dir.path() / "actions.json.corrupt-1700000001"));
}

TEST_F(ActionConfigStoreTest, SavedFilesHoldEveryKeySortedAndRoundTrip) {
    ActionConfig c;
    c.order = {"custom:a"};
    c.hidden = {"copy"};
    c.barCount = 99;
    c.custom = {CustomAction{"custom:a", "搜 \"豆瓣\"", "star", "myapp:///s?q={text}", "p.a"}};
    const fs::path nested = dir.path() / "new" / "dir" / "actions.json";
    ASSERT_TRUE(ActionConfigStore{nested}.save(c));
    const std::string bytes = *fileio::readFile(nested);
    // Keys sorted, slashes escaped, the bar count clamped.
    EXPECT_EQ(bytes.find(R"({
  "barCount": 6,
  "custom": [)"),
              0u);
    EXPECT_NE(bytes.find(R"("urlTemplate": "myapp:\/\/\/s?q={text}")"), std::string::npos);
    EXPECT_LT(bytes.find(R"("order")"), bytes.find(R"("smartRanking": true)"));

    // Load and save again: the same bytes.
    const ActionConfigStore again{nested};
    const ActionConfig loaded = again.load(kNow);
    EXPECT_EQ(loaded, c.normalized());
    ASSERT_TRUE(again.save(loaded));
    EXPECT_EQ(*fileio::readFile(nested), bytes);

    // Strings that are not UTF-8 are repaired rather than failing the save.
    c.custom[0].name = "bad\xFF";
    ASSERT_TRUE(again.save(c));
    EXPECT_EQ(again.load(kNow).custom[0].name, "bad\uFFFD");

    std::ofstream(dir.path() / "file") << "x";
    EXPECT_FALSE(ActionConfigStore{dir.path() / "file" / "actions.json"}.save(c));
}

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
    EXPECT_EQ(order()[0] + " " + order()[1] + " " + order()[2], "flomo ask translate");
    model.move({1}, 0);
    EXPECT_EQ(order(), original);
    model.move({2, 0}, 13);  // to the end, keeping their order
    EXPECT_EQ(order()[11] + " " + order()[12], "ask translate");
    EXPECT_EQ(onDisk().order, order());

    // Offsets out of range are ignored; nothing is lost or repeated.
    model.move({3, 3, 77}, 99);
    model.move({40}, 0);
    const auto after = order();
    EXPECT_TRUE(std::is_permutation(after.begin(), after.end(), original.begin(), original.end()));
}

TEST_F(ActionsSettingsModelTest, CustomActionsAreAppendedReplacedInPlaceAndRemoved) {
    model.upsert(custom("custom:1", "一"));
    model.upsert(custom("custom:2", "二"));
    EXPECT_EQ(order().back(), "custom:2");
    model.move({13}, 0);
    model.upsert(custom("custom:1", "改名"));
    EXPECT_EQ(order().front(), "custom:1");
    EXPECT_EQ(model.catalog().title(ActionID("custom:1")), "改名");
    EXPECT_EQ(onDisk().custom.size(), 2u);

    // A built-in cannot go: it moves to the end, after the custom actions, and is shown.
    model.setHidden(ActionID("custom:1"), true);
    model.setHidden(ActionID::ask(), true);
    model.remove(ActionID::ask());
    EXPECT_EQ(order().size(), 15u);
    EXPECT_EQ(order()[13] + " " + order()[14], "custom:2 ask");
    EXPECT_EQ(model.config().hidden, std::vector<std::string>{"custom:1"});
    model.remove(ActionID("custom:1"));
    EXPECT_EQ(model.config().custom.size(), 1u);
    EXPECT_TRUE(model.config().hidden.empty());
    EXPECT_EQ(order().size(), 14u);

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
