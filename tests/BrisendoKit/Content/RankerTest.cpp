#include "BrisendoKit/Content/Ranker.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace pivorel {

void PrintTo(const RankedAction& r, std::ostream* os) {
    *os << r.action.rawValue << " " << r.score;
}

namespace {

using K = ContentKind;

const ContentProfile shortEnglishWord{{K::english, K::shortPhrase}};
const ContentProfile link{{K::url}};

std::vector<RankedAction> rank(const ContentProfile& profile, const ActionConfig& config = {},
                               std::optional<std::string_view> app = std::nullopt,
                               const HistoryStats& history = HistoryStats::empty(),
                               bool editable = false) {
    return Ranker::rank(profile, app, history, config, editable);
}

// "translate 90, ask 60, ..." for a ranking.
std::string str(const std::vector<RankedAction>& ranked) {
    std::string out;
    for (const RankedAction& r : ranked) {
        out += (out.empty() ? "" : ", ") + r.action.rawValue + " " + std::to_string(int(r.score));
    }
    return out;
}

std::map<std::string, double> scores(const std::vector<RankedAction>& ranked) {
    std::map<std::string, double> map;
    for (const RankedAction& r : ranked) map[r.action.rawValue] = r.score;
    return map;
}

std::vector<ActionID> ids(std::initializer_list<const char*> raw) {
    std::vector<ActionID> list;
    for (const char* r : raw) list.emplace_back(r);
    return list;
}

std::vector<ActionID> idsOf(const std::vector<RankedAction>& ranked) {
    std::vector<ActionID> list;
    for (const RankedAction& r : ranked) list.push_back(r.action);
    return list;
}

TEST(Ranker, DefaultConfigurationRanksAShortEnglishWord) {
    const auto ranked = rank(shortEnglishWord);
    // Equal scores keep the user's order: dayOne before copy, calendar before todo.
    EXPECT_EQ(str(ranked),
              "translate 90, ask 60, google 45, lookup 40, flomo 30, kagi 25, dayOne 15, copy 15, "
              "calendar 10, todo 10, cut 5, paste 5");
    EXPECT_EQ(Ranker::barOrder(idsOf(ranked), 4, true),
              ids({"translate", "ask", "google", "copy", "lookup", "flomo", "kagi", "dayOne",
                   "calendar", "todo", "cut", "paste"}));
}

TEST(Ranker, SmartRankingOffKeepsTheUsersOrderAndIgnoresEverythingElse) {
    ActionConfig config;
    config.smartRanking = false;
    HistoryStats history;
    history.contextual[ActionID::lookup()] = 50;
    history.global[ActionID::lookup()] = 50;
    const auto ranked = rank(shortEnglishWord, config, "com.microsoft.VSCode", history, true);
    EXPECT_EQ(str(ranked),
              "ask 12, flomo 11, translate 10, google 9, dayOne 8, kagi 7, copy 6, calendar 5, "
              "todo 4, cut 3, paste 2, lookup 1");
    // The bar keeps it too, copy included.
    EXPECT_EQ(Ranker::barOrder(idsOf(ranked), 4, false), idsOf(ranked));
}

TEST(Ranker, ALinkPutsOpenURLFirstAndHiddenActionsKeepTheirPositions) {
    EXPECT_EQ(str(rank(link)),
              "openURL 100, flomo 45, ask 30, copy 30, dayOne 25, google 10, calendar 10, todo 10, "
              "kagi 5, cut 5, paste 5, lookup 5, translate 0");
    ActionConfig config;
    config.hidden = {"openURL", "flomo"};
    EXPECT_EQ(scores(rank(link, config)).count("openURL"), 0u);
    // translate stays on the third slot (20), not the freed second one (30).
    EXPECT_EQ(str(rank(shortEnglishWord, config)),
              "translate 90, ask 60, google 45, lookup 40, kagi 25, dayOne 15, copy 15, "
              "calendar 10, todo 10, cut 5, paste 5");
    config.smartRanking = false;
    EXPECT_EQ(scores(rank(link, config)).count("openURL"), 0u);
    EXPECT_EQ(
        str(rank(shortEnglishWord, config)),
        "ask 11, translate 10, google 9, dayOne 8, kagi 7, copy 6, calendar 5, todo 4, cut 3, "
        "paste 2, lookup 1");
}

TEST(Ranker, CustomActionsGetTheirSlotAndHistoryOnly) {
    ActionConfig config;
    config.custom = {{"custom:aaaa", "A", "link", "https://a.example/?q={text}", std::nullopt},
                     {"custom:bbbb", "B", "link", "https://b.example/?q={text}", std::nullopt}};
    // Appended after the thirteen built-ins: positions 13 and 14, no baseline.
    auto s = scores(rank(shortEnglishWord, config));
    EXPECT_EQ(s["custom:aaaa"], 0);
    EXPECT_EQ(s["custom:bbbb"], 0);

    HistoryStats history;
    history.contextual[ActionID("custom:bbbb")] = 3;
    s = scores(rank(shortEnglishWord, config, "org.mozilla.firefox", history, true));
    EXPECT_EQ(s["custom:aaaa"], 0);
    EXPECT_EQ(s["custom:bbbb"], 40);

    // Put first, a custom action takes the first slot and ask moves to the second.
    config.order = {"custom:aaaa"};
    s = scores(rank(shortEnglishWord, config));
    EXPECT_EQ(s["custom:aaaa"], 30);
    EXPECT_EQ(s["ask"], 60);
    EXPECT_EQ(s["flomo"], 20);
    EXPECT_EQ(s["lookup"], 35);  // position 12: the last slot is 0 + 20 + 15
}

TEST(Ranker, EditableSelectionInACodeEditor) {
    for (const char* app : {"com.microsoft.VSCode", "code"}) {
        const auto ranked = rank(shortEnglishWord, {}, app, {}, true);
        EXPECT_EQ(ranked.front(), (RankedAction{ActionID::cut(), 95})) << app;
        EXPECT_EQ(scores(ranked)["copy"] - scores(rank(shortEnglishWord))["copy"], 65) << app;
    }
}

TEST(Ranker, HistoryTermsWeighContextAboveAllApplications) {
    const auto plain = scores(rank(shortEnglishWord));
    HistoryStats history;
    history.contextual[ActionID::kagi()] = 3;
    EXPECT_EQ(scores(rank(shortEnglishWord, {}, std::nullopt, history))["kagi"],
              plain.at("kagi") + 40);

    history = {};
    history.global[ActionID::kagi()] = 3;
    EXPECT_DOUBLE_EQ(scores(rank(shortEnglishWord, {}, std::nullopt, history))["kagi"],
                     plain.at("kagi") + 16);

    // Both terms at once, with other actions in the totals: 1 of 4 and 2 of 7.
    history = {};
    history.contextual = {{ActionID::kagi(), 1}, {ActionID::ask(), 3}};
    history.global = {{ActionID::kagi(), 2}, {ActionID::cut(), 5}};
    const auto s = scores(rank(shortEnglishWord, {}, std::nullopt, history));
    EXPECT_DOUBLE_EQ(s.at("kagi"), plain.at("kagi") + 80.0 / 7 + 64.0 / 10);
    EXPECT_DOUBLE_EQ(s.at("ask"), plain.at("ask") + 240.0 / 7);

    // Zero totals add nothing; a chosen hidden action stays hidden.
    history = {};
    history.contextual[ActionID::kagi()] = 0;
    EXPECT_EQ(rank(shortEnglishWord, {}, std::nullopt, history), rank(shortEnglishWord));
    ActionConfig config;
    config.hidden = {"kagi"};
    history.contextual[ActionID::kagi()] = 1000;
    EXPECT_EQ(scores(rank(shortEnglishWord, config, std::nullopt, history)).count("kagi"), 0u);
}

TEST(Ranker, ApplicationBonusesMatchExactIdentifiers) {
    for (const char* app : {"", "com.apple.safari", "Firefox", "org.example.unknown"}) {
        EXPECT_TRUE(Ranker::appBonusTable(app).empty()) << app;
    }
    EXPECT_TRUE(Ranker::appBonusTable(std::nullopt).empty());
    EXPECT_FALSE(Ranker::appBonusTable("firefox-esr").empty());  // a Linux name

    // A Linux reader gets the readers' bonus in a ranking.
    const auto plain = scores(rank(shortEnglishWord));
    const auto s = scores(rank(shortEnglishWord, {}, "org.gnome.Evince"));
    EXPECT_EQ(s.at("translate") - plain.at("translate"), 20);
    EXPECT_EQ(s.at("dayOne") - plain.at("dayOne"), 15);
    EXPECT_EQ(s.at("copy"), plain.at("copy"));
}

TEST(Ranker, BarOrderMovesCopyOntoTheBarOnlyWhenNeeded) {
    const auto list = ids({"a", "b", "c", "d", "copy", "e"});
    EXPECT_EQ(Ranker::barOrder(list, 4, true), ids({"a", "b", "c", "copy", "d", "e"}));
    EXPECT_EQ(Ranker::barOrder(list, 3, true), ids({"a", "b", "copy", "c", "d", "e"}));
    EXPECT_EQ(Ranker::barOrder(list, 1, true), ids({"copy", "a", "b", "c", "d", "e"}));
    // Already on the bar, absent, no bar, smart ranking off, or a bar longer than the list.
    EXPECT_EQ(Ranker::barOrder(list, 100, true), list);
    EXPECT_EQ(Ranker::barOrder(ids({"a", "b", "c", "d", "e"}), 3, true),
              ids({"a", "b", "c", "d", "e"}));
    EXPECT_EQ(Ranker::barOrder(list, -2, true), list);
    EXPECT_EQ(Ranker::barOrder(list, 4, false), list);
    EXPECT_TRUE(Ranker::barOrder({}, 4, true).empty());
}

}  // namespace
}  // namespace pivorel
