#include "BrisendoKit/Actions/ActionConfigStore.h"

#include <gtest/gtest.h>

#include <fstream>

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

}  // namespace

TEST_F(ActionConfigStoreTest, MissingFileGivesDefaultsAndWritesNothing) {
    EXPECT_EQ(store.load(kNow), ActionConfig::defaultConfig());
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(ActionConfigStoreTest, DecodableContentIsRepairedNotRejected) {
    EXPECT_EQ(load("{}"), ActionConfig::defaultConfig());
    EXPECT_EQ(load(R"({"barCount": 9})").barCount, 6);
    EXPECT_EQ(load(R"({"barCount": 1})").barCount, 3);
    EXPECT_EQ(load(R"({"barCount": 5.0, "version": 7})").version, 1);

    auto order = load(R"({"order": ["openURL"]})").order;
    EXPECT_EQ(order.front(), "openURL");
    order.erase(order.begin());
    auto rest = ActionConfig::defaultOrderStrings();
    rest.pop_back();  // openURL is last by default
    EXPECT_EQ(order, rest);

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
    EXPECT_EQ(c.custom[0].name, "first");
    EXPECT_EQ(c.custom[0].urlTemplate, "https://a.com/?q={text}");
    EXPECT_EQ(c.custom[0].presetID, std::nullopt);
    EXPECT_EQ(c.order.front(), "custom:1");
    EXPECT_EQ(c.hidden, std::vector<std::string>{"ask"});
    EXPECT_EQ(c.barCount, 5);
    EXPECT_TRUE(c.smartRanking);
    EXPECT_TRUE(fs::exists(store.url));
}

TEST_F(ActionConfigStoreTest, UndecodableFilesAreSetAside) {
    for (
        const std::string& bytes : std::vector<std::string>{
            "", "  \n", "[]", "null", "{\"order\": []",  // not an object, truncated
            R"({"barCount": "4"})", R"({"barCount": 4.5})", R"({"barCount": 1e30})",
            R"({"smartRanking": 1})", R"({"order": ["ask", 3]})", R"({"hidden": "ask"})",
            R"({"custom": {}})",
            R"({"custom": [{"id": "custom:1", "name": "n", "urlTemplate": "u"}]})",
            R"({"custom": [{"id": "custom:1", "name": "n", "symbol": 1, "urlTemplate": "u"}]})",
            R"({"custom": [{"id": "custom:1", "name": "n", "symbol": "s", "urlTemplate": "u", "presetID": 2}]})",
            "{\"order\": [\"ask\xFF\"]}",  // ill-formed UTF-8
            std::string(100, '[') + std::string(100, ']')}) {
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

TEST_F(ActionConfigStoreTest, TenMegabyteFiles) {
    std::string big = R"({"padding": ")" + std::string(5 << 20, 'x') + R"(", "order": [)";
    while (big.size() < (10u << 20)) big += R"("lookup", "custom:gone", )";
    const ActionConfig c = load(big + R"("ask"], "barCount": 6})");
    EXPECT_EQ(c.order.front(), "lookup");
    EXPECT_EQ(c.order.size(), 13u);
    EXPECT_EQ(c.barCount, 6);

    expectSetAside(std::string(10u << 20, '{'));
    expectSetAside(std::string(10u << 20, '\xC3'));
}

TEST_F(ActionConfigStoreTest, SavedFilesHoldEveryKeySortedAndRoundTrip) {
    ActionConfig c;
    c.order = {"custom:b"};
    c.hidden = {"custom:a"};
    c.barCount = 99;
    c.custom = {CustomAction{"custom:a", "搜 \"豆瓣\"", "star", "https://a.com/s?q={text}", {}},
                CustomAction{"custom:b", "B", "link", "myapp:///x?q={text}", "preset.b"}};
    const fs::path nested = dir.path() / "new" / "dir" / "actions.json";
    ASSERT_TRUE(ActionConfigStore{nested}.save(c));
    const std::string bytes = *fileio::readFile(nested);
    std::string order;
    for (const auto& id : c.normalized().order) order += "    \"" + id + "\",\n";
    order.resize(order.size() - 2);
    EXPECT_EQ(bytes, R"({
  "barCount": 6,
  "custom": [
    {
      "id": "custom:a",
      "name": "搜 \"豆瓣\"",
      "symbol": "star",
      "urlTemplate": "https:\/\/a.com\/s?q={text}"
    },
    {
      "id": "custom:b",
      "name": "B",
      "presetID": "preset.b",
      "symbol": "link",
      "urlTemplate": "myapp:\/\/\/x?q={text}"
    }
  ],
  "hidden": [
    "custom:a"
  ],
  "order": [
)" + order + R"(
  ],
  "smartRanking": true,
  "version": 1
}
)");

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
