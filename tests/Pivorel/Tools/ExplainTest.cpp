#include "Pivorel/Tools/Explain.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Clock.h"
#include "TempDir.h"

namespace pivorel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// A user with an empty home: HOME and the XDG directories point into a fresh directory.
class ExplainBinary : public ::testing::Test {
  protected:
    fs::path supportDir() const { return home_.path() / "data" / "Pivorel"; }

    test::Ran ran(const std::vector<std::string>& args, const std::string& env = "") const {
        std::string command =
            "env " + env + " HOME=" + test::shellWord(home_.path().string()) +
            " XDG_DATA_HOME=" + test::shellWord((home_.path() / "data").string()) +
            " XDG_CONFIG_HOME=" + test::shellWord((home_.path() / "config").string()) +
            " " PIVOREL_BINARY " --explain";
        for (const auto& a : args) command += " " + test::shellWord(a);
        return test::runShell(command);
    }
    Json run(const std::vector<std::string>& args, const std::string& env = "") const {
        const auto r = ran(args, env);
        EXPECT_EQ(r.status, 0) << r.err;
        return Json::parse(r.out, nullptr, false);
    }

    test::TempDir home_;
};

std::vector<std::string> strings(const Json& array) {
    std::vector<std::string> list;
    for (const auto& v : array) list.push_back(v.is_string() ? v.get<std::string>() : v.dump());
    return list;
}

std::vector<std::string> rankedActions(const Json& j) {
    std::vector<std::string> list;
    for (const auto& entry : j["ranking"]) list.push_back(entry["action"]);
    return list;
}

double scoreOf(const Json& j, const std::string& action) {
    for (const auto& entry : j["ranking"]) {
        if (entry["action"] == action) return entry["score"];
    }
    return -1000;
}

TEST_F(ExplainBinary, ShowsTheDefaultRankingOfAShortEnglishWord) {
    const Json j = run({"--text", " word ", "--now", "2024-05-01T09:30:00+08:00"});
    std::vector<std::string> keys;
    for (const auto& [key, value] : j.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"text", "kinds", "primary", "ranking", "barOrder",
                                              "bar", "due"}));
    EXPECT_EQ(j["text"], " word ");
    EXPECT_EQ(strings(j["kinds"]), (std::vector<std::string>{"english", "shortPhrase"}));
    EXPECT_EQ(j["primary"], "shortPhrase");
    EXPECT_EQ(rankedActions(j),
              (std::vector<std::string>{"translate", "ask", "google", "lookup", "flomo", "kagi",
                                        "dayOne", "copy", "calendar", "todo", "cut", "paste"}));
    EXPECT_EQ(j["ranking"][0]["score"], 90.0);
    EXPECT_EQ(scoreOf(j, "lookup"), 40.0);
    EXPECT_EQ(strings(j["bar"]), (std::vector<std::string>{"translate", "ask", "google", "copy"}));
    EXPECT_EQ(j["barOrder"].size(), 12u);
    EXPECT_EQ(j["barOrder"][4], "lookup");
    EXPECT_TRUE(j["due"].is_null());
    // Looking is not recording: no database appears.
    EXPECT_FALSE(fs::exists(supportDir() / "pivorel.sqlite"));
}

TEST_F(ExplainBinary, WeighsLinksApplicationsAndTheUsersConfiguration) {
    Json j = run({"--text", "https://example.com/a"});
    EXPECT_EQ(rankedActions(j).front(), "openURL");
    EXPECT_EQ(j["ranking"][0]["score"], 100.0);

    j = run({"--text", "word", "--app", "code", "--editable"});
    EXPECT_EQ(j["ranking"][0]["action"], "cut");
    EXPECT_EQ(j["ranking"][0]["score"], 95.0);
    EXPECT_EQ(scoreOf(j, "ask"), 90.0);

    // The user's own actions.json: translate hidden, smart ranking off, a bar of five.
    ActionConfig config;
    config.hidden = {"translate"};
    config.smartRanking = false;
    config.barCount = 5;
    ASSERT_TRUE(ActionConfigStore{supportDir() / "actions.json"}.save(config));
    j = run({"--text", "word"});
    EXPECT_EQ(rankedActions(j),
              (std::vector<std::string>{"ask", "flomo", "google", "dayOne", "kagi", "copy",
                                        "calendar", "todo", "cut", "paste", "lookup"}));
    EXPECT_EQ(j["ranking"][0]["score"], 11.0);
    EXPECT_EQ(strings(j["barOrder"]), rankedActions(j));
    EXPECT_EQ(strings(j["bar"]),
              (std::vector<std::string>{"ask", "flomo", "google", "dayOne", "kagi"}));

    // --config wins over the user's file.
    const fs::path other = home_.path() / "other.json";
    ASSERT_TRUE(ActionConfigStore{other}.save(ActionConfig{}));
    j = run({"--text", "word", "--config", other.string()});
    EXPECT_EQ(j["ranking"][0]["action"], "translate");
}

TEST_F(ExplainBinary, ReadsHistoryWithoutEverWritingIt) {
    const fs::path db = home_.path() / "history.sqlite";
    {
        auto store = Store::open(db);
        ASSERT_TRUE(store) << store.error().describe();
        const ContentProfile profile{{ContentKind::english, ContentKind::shortPhrase}};
        for (int i = 0; i < 3; ++i) {
            SelectRequest request;
            request.text = "word";
            request.source = "bar";
            auto id = (*store)->insert(request, profile, {ActionID::kagi()}, fromUnixSeconds(1e9));
            ASSERT_TRUE(id);
            ASSERT_TRUE((*store)->markChosen(*id, ActionID::kagi(), 1));
        }
    }
    const auto sizeBefore = fs::file_size(db);
    // 25 + 3 × 80 ÷ 6 in context + 3 × 32 ÷ 6 over all applications.
    EXPECT_EQ(scoreOf(run({"--text", "word", "--db", db.string()}), "kagi"), 81.0);
    EXPECT_EQ(fs::file_size(db), sizeBefore);
    // Another application has no contextual history.
    EXPECT_EQ(scoreOf(run({"--text", "word", "--db", db.string(), "--app", "firefox"}), "kagi"),
              25 + 10 + 16.0);
    EXPECT_EQ(scoreOf(run({"--text", "word", "--no-history"}), "kagi"), 25.0);
    // A database that is not there is no history and stays not there; nor does a file that
    // is not a database stop it.
    const fs::path missing = home_.path() / "missing.sqlite";
    EXPECT_EQ(scoreOf(run({"--text", "word", "--db", missing.string()}), "kagi"), 25.0);
    EXPECT_FALSE(fs::exists(missing));
    std::ofstream(home_.path() / "junk.sqlite") << "not a database";
    run({"--text", "word", "--db", (home_.path() / "junk.sqlite").string()});
}

TEST_F(ExplainBinary, BadArgumentsPrintTheUsageAndExitTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"word"},
        {"--text"},
        {"--app", "code"},
        {"--text", "a", "--text", "b"},
        {"--text", "a", "--frobnicate"},
        {"--text", "a", "--now", "2024-05-01T09:30:00"},
        {"--text", "a", "--now", "tomorrow"},
        {"--text", "a", "--db", "x.sqlite", "--no-history"},
        {"--text", "a", "--config", "/nonexistent/actions.json"},
        {"--text", "a", "--config", ""},
    };
    for (const auto& args : bad) {
        const test::Ran r = ran(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage: pivorel --explain"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    const fs::path notActions = home_.path() / "bad.json";
    std::ofstream(notActions) << "[1, 2";
    EXPECT_EQ(ran({"--text", "a", "--config", notActions.string()}).status, 2);
    EXPECT_TRUE(fs::exists(notActions));  // left where it was
    EXPECT_FALSE(fs::exists(supportDir() / "pivorel.sqlite"));
}

TEST_F(ExplainBinary, ReadsTheDueDateInTheProcesssTimeZone) {
    const auto dueFor = [&](const std::string& zone, const std::string& text) {
        return run({"--text", text, "--now", "2024-05-01T10:00:00+08:00"}, "TZ=" + zone)["due"];
    };
    // Wednesday 1 May 2024, 10:00 in Shanghai.
    EXPECT_EQ(dueFor("Asia/Shanghai", "  明天下午3点开会\n"),
              Json({{"year", 2024}, {"month", 5}, {"day", 2}, {"hour", 15}, {"minute", 0}}));
    EXPECT_EQ(dueFor("Asia/Shanghai", "下周五"), Json({{"year", 2024}, {"month", 5}, {"day", 10}}));
    // The same moment is still Tuesday evening in New York.
    EXPECT_EQ(dueFor("America/New_York", "今天"),
              Json({{"year", 2024}, {"month", 4}, {"day", 30}}));
    EXPECT_TRUE(dueFor("Asia/Shanghai", "hello").is_null());
}

TEST(Explain, ParsesTimesWithAnOffsetStrictly) {
    const auto at = [](std::string_view s) {
        const auto t = parseTimestampWithOffset(s);
        return t ? toUnixSeconds(*t) : -1.0;
    };
    EXPECT_EQ(at("2024-05-01T09:30:00+08:00"), 1714527000);
    EXPECT_EQ(at("2024-05-01T01:30:00Z"), 1714527000);
    EXPECT_EQ(at("2024-05-01T09:30+0800"), 1714527000);
    EXPECT_EQ(at("2024-05-01T09:30+08"), 1714527000);
    EXPECT_EQ(at("2024-04-30T20:00:00-05:30"), 1714527000);
    EXPECT_DOUBLE_EQ(at("2024-05-01T01:30:00.25Z"), 1714527000.25);
    EXPECT_EQ(at("2024-02-29T00:00:00Z"), 1709164800);
    EXPECT_EQ(at("1970-01-01T00:00:00Z"), 0);

    for (const char* bad :
         {"", "2024-05-01T09:30:00", "2024-05-01 09:30:00+08:00", "2024-05-01t09:30Z",
          "2023-02-29T00:00Z", "2024-13-01T00:00Z", "2024-05-01T24:00Z", "2024-05-01T09:60Z",
          "2024-05-01T09:30:60Z", "2024-05-01T09:30+24:00",
          "2024-05-01T09:30+08:", "2024-5-1T09:30Z", "2024-05-01T09:30:00.Z",
          "2024-05-01T09:30:00.1234567890Z", "2024-05-01T09:30Z ", "1200-01-01T00:00Z",
          "9999-12-31T23:59Z", "２０２４-05-01T09:30Z"}) {
        EXPECT_FALSE(parseTimestampWithOffset(bad)) << bad;
    }
}

}  // namespace
}  // namespace pivorel
