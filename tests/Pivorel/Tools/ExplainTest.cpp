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

double scoreOf(const Json& j, const std::string& action) {
    for (const auto& entry : j["ranking"]) {
        if (entry["action"] == action) return entry["score"];
    }
    return -1000;
}

// How the ranking is scored is the core's; here: what the tool reads, prints and never writes.
TEST_F(ExplainBinary, ShowsTheRankingAndTheBarOfTheUsersConfiguration) {
    Json j = run({"--text", " word ", "--now", "2024-05-01T09:30:00+08:00"});
    std::vector<std::string> keys;
    for (const auto& [key, value] : j.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"text", "kinds", "primary", "ranking", "unavailable",
                                              "barOrder", "bar", "due"}));
    EXPECT_EQ(strings(j["bar"]), (std::vector<std::string>{"translate", "ask", "google", "copy"}));
    EXPECT_EQ(j["barOrder"].size() + j["unavailable"].size(), 12u);
    EXPECT_FALSE(fs::exists(supportDir() / "pivorel.sqlite")) << "looking is not recording";

    // The user's own actions.json: translate hidden, smart ranking off, a bar of five.
    ActionConfig config;
    config.hidden = {"translate"};
    config.smartRanking = false;
    config.barCount = 5;
    ASSERT_TRUE(ActionConfigStore{supportDir() / "actions.json"}.save(config));
    j = run({"--text", "word"});
    // No handler of dayone: links here, so copy moves up.
    EXPECT_EQ(strings(j["bar"]),
              (std::vector<std::string>{"ask", "flomo", "google", "kagi", "copy"}));
    // --config wins over the user's file.
    const fs::path other = home_.path() / "other.json";
    ASSERT_TRUE(ActionConfigStore{other}.save(ActionConfig{}));
    EXPECT_EQ(run({"--text", "word", "--config", other.string()})["ranking"][0]["action"],
              "translate");
}

TEST_F(ExplainBinary, ActionsWithoutAProgramOnThisDesktopAreListedAndTheNextOneMovesUp) {
    ActionConfig config;
    config.order = {"lookup", "google", "copy", "kagi"};
    config.smartRanking = false;
    config.barCount = 3;
    const fs::path file = home_.path() / "actions.json";
    ASSERT_TRUE(ActionConfigStore{file}.save(config));
    const fs::path empty = home_.path() / "empty";
    fs::create_directory(empty);
    const std::string noBus = "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (empty / "bus").string();
    // No program, no link handler, no session bus.
    const Json bare =
        run({"--text", "word", "--config", file.string()},
            "PATH=" + empty.string() + " XDG_DATA_DIRS=" + empty.string() + " " + noBus);
    EXPECT_EQ(strings(bare["unavailable"]),
              (std::vector<std::string>{"calendar", "dayOne", "lookup"}));
    EXPECT_EQ(strings(bare["bar"]), (std::vector<std::string>{"google", "copy", "kagi"}));
    EXPECT_EQ(bare["ranking"][0]["action"], "lookup") << "the ranking itself stays as it was";
    // GoldenDict, which the project's dependencies install.
    const Json here = run({"--text", "word", "--config", file.string()}, noBus);
    EXPECT_EQ(strings(here["bar"]), (std::vector<std::string>{"lookup", "google", "copy"}));
}

TEST_F(ExplainBinary, ReadsHistoryWithoutEverWritingIt) {
    const fs::path db = home_.path() / "history.sqlite";
    {
        auto store = Store::open(db);
        ASSERT_TRUE(store) << store.error().describe();
        const ContentProfile profile{{ContentKind::english, ContentKind::shortPhrase}};
        SelectRequest request;
        request.text = "word";
        request.source = "bar";
        auto id = (*store)->insert(request, profile, {ActionID::kagi()}, fromUnixSeconds(1e9));
        ASSERT_TRUE(id && (*store)->markChosen(*id, ActionID::kagi(), 1));
    }
    const auto sizeBefore = fs::file_size(db);
    EXPECT_GT(scoreOf(run({"--text", "word", "--db", db.string()}), "kagi"),
              scoreOf(run({"--text", "word", "--no-history"}), "kagi"));
    EXPECT_EQ(fs::file_size(db), sizeBefore);
    // A database that is not there stays not there; nor does a file that is not one stop it.
    const fs::path missing = home_.path() / "missing.sqlite";
    run({"--text", "word", "--db", missing.string()});
    EXPECT_FALSE(fs::exists(missing));
    std::ofstream(home_.path() / "junk.sqlite") << "not a database";
    run({"--text", "word", "--db", (home_.path() / "junk.sqlite").string()});
}

TEST_F(ExplainBinary, BadArgumentsPrintTheUsageAndExitTwo) {
    const fs::path notActions = home_.path() / "bad.json";
    std::ofstream(notActions) << "[1, 2";
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"word"},
        {"--text"},
        {"--text", "a", "--text", "b"},
        {"--text", "a", "--now", "2024-05-01T09:30:00"},
        {"--text", "a", "--db", "x.sqlite", "--no-history"},
        {"--text", "a", "--config", "/nonexistent/actions.json"},
        {"--text", "a", "--config", notActions.string()},
    };
    for (const auto& args : bad) {
        const test::Ran r = ran(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage: pivorel --explain"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_TRUE(fs::exists(notActions));  // left where it was
}

TEST_F(ExplainBinary, ReadsTheDueDateInTheProcesssTimeZone) {
    const auto dueFor = [&](const std::string& zone, const std::string& text) {
        return run({"--text", text, "--now", "2024-05-01T10:00:00+08:00"}, "TZ=" + zone)["due"];
    };
    // Wednesday 1 May 2024, 10:00 in Shanghai, is still Tuesday evening in New York.
    EXPECT_EQ(dueFor("Asia/Shanghai", "  明天下午3点开会\n"),
              Json({{"year", 2024}, {"month", 5}, {"day", 2}, {"hour", 15}, {"minute", 0}}));
    EXPECT_EQ(dueFor("America/New_York", "今天"),
              Json({{"year", 2024}, {"month", 4}, {"day", 30}}));
}

}  // namespace
}  // namespace pivorel
