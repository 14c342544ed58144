#include "BrisendoKit/Support/UserDefaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "TempDir.h"

using namespace pivorel;
using nlohmann::json;

namespace {
struct UserDefaultsTest : ::testing::Test {
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "d.json";
    void write(const std::string& s) const { std::ofstream(file, std::ios::binary) << s; }
};
}  // namespace

TEST_F(UserDefaultsTest, TypedReadsAnswerNothingForTheWrongType) {
    write(R"({"barEnabled": "yes", "hotKeyCode": 46.5, "big": 18446744073709551615,
        "barExcludedApps": ["a", 3], "llmModel": 7, "ok": true, "n": 12, "d": 2.5,
        "apps": ["x", "y"], "other": {"nested": [1, {"k": null}]}})");
    UserDefaults d(file);
    EXPECT_FALSE(d.integerValue("hotKeyCode") || d.integerValue("big") ||
                 d.stringArray("barExcludedApps") || d.boolValue("missing"));
    EXPECT_EQ(d.doubleValue("n"), 12.0);

    // Unknown values survive a write of another key untouched.
    d.set("llmModel", "deepseek-chat");
    UserDefaults again(file);
    EXPECT_EQ(again.value("other"), json::parse(R"({"nested": [1, {"k": null}]})"));
    EXPECT_EQ(again.stringValue("llmModel"), "deepseek-chat");
}

TEST_F(UserDefaultsTest, WritesAtOnceAndTellsObserversAfterTheChange) {
    file = dir.path() / "sub" / "d.json";  // parent does not exist yet
    UserDefaults d(file);
    std::vector<std::string> seen;
    auto conn = d.changed.connect([&](const std::string& key) {
        seen.push_back(key + "=" + d.value(key).value_or(json("<none>")).dump());
    });
    d.set("barEnabled", false);
    d.set("barEnabled", false);  // same value: no notification
    d.remove("barEnabled");
    d.remove("barEnabled");
    EXPECT_EQ(seen, (std::vector<std::string>{"barEnabled=false", "barEnabled=\"<none>\""}));
    d.set("uiLanguage", "en");
    EXPECT_EQ(UserDefaults(file).stringValue("uiLanguage"), "en");
    EXPECT_NE(fileio::readFile(file)->find("\"uiLanguage\": \"en\""), std::string::npos);
    // Strings that are not UTF-8 still save (the observer above would not print them).
    conn.reset();
    d.set("name", std::string("a\xFF"));
    EXPECT_TRUE(UserDefaults(file).stringValue("name").has_value());
}

TEST_F(UserDefaultsTest, AnUnreadableFileIsMovedAsideNeverOverwritten) {
    for (const std::string& bad : {std::string("{not json"), std::string("[1,2]"),
                                   std::string("\"str\""), std::string("{\"a\": \"\xFF\"}")}) {
        write(bad);
        LogCapture log;
        UserDefaults d(file);
        EXPECT_FALSE(d.contains("a"));
        EXPECT_EQ(log.lines().size(), 1u);
        EXPECT_FALSE(std::filesystem::exists(file));
        bool kept = false;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            if (e.path().filename().string().rfind("d.json.corrupt-", 0) == 0) {
                kept = fileio::readFile(e.path()) == bad;
                std::filesystem::remove(e.path());
            }
        }
        EXPECT_TRUE(kept) << bad;
        d.set("a", 1);
        EXPECT_EQ(UserDefaults(file).integerValue("a"), 1);
        std::filesystem::remove(file);
    }
    // An empty file is just an empty domain.
    write("");
    LogCapture quiet;
    UserDefaults empty(file);
    EXPECT_TRUE(quiet.lines().empty());
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(UserDefaultsTest, PicksUpAnotherProcesssWritesWithoutLosingThem) {
    UserDefaults ours(file);
    ours.set("mine", 1);
    std::vector<std::string> seen;
    auto conn = ours.changed.connect([&](const std::string& k) { seen.push_back(k); });

    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a distinct mtime
    write(R"({"mine": 1, "theirs": "x"})");
    EXPECT_TRUE(ours.reloadIfChanged());
    EXPECT_EQ(seen, std::vector<std::string>{"theirs"});
    EXPECT_FALSE(ours.reloadIfChanged());

    // A write from us merges their newer value instead of wiping it out.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    write(R"({"mine": 1, "theirs": "y"})");
    ours.set("mine", 2);
    UserDefaults check(file);
    EXPECT_EQ(check.stringValue("theirs"), "y");
    EXPECT_EQ(check.integerValue("mine"), 2);
}
