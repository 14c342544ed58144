#include "BrisendoKit/Shell/StatusMenuModel.h"

#include <gtest/gtest.h>

#include <vector>

#include "BrisendoKit/Localization/Localizer.h"

using namespace pivorel;
using ID = StatusMenuModel::ItemID;

namespace {

// 2025-06-15 06:00 UTC: 14:00 in Shanghai.
const TimePoint now = fromUnixSeconds(1'749'967'200);

StatusMenuModel::Inputs inputs() {
    StatusMenuModel::Inputs in;
    in.now = now;
    in.hotkeyDisplay = "⌃⌥N";
    in.timeZone = "Asia/Shanghai";
    return in;
}

const StatusMenuModel::Item& item(const std::vector<StatusMenuModel::Item>& items, ID id) {
    const auto* found = StatusMenuModel::find(items, id);
    EXPECT_NE(found, nullptr);
    static const StatusMenuModel::Item none;
    return found ? *found : none;
}

struct Language {
    explicit Language(const char* code) { Localizer::setLanguageOverride(code); }
    ~Language() { Localizer::setLanguageOverride("zh-Hans"); }
};

}  // namespace

TEST(StatusMenuModel, TitleAndStatisticsLineFollowTodaysCounts) {
    auto in = inputs();
    EXPECT_EQ(item(StatusMenuModel::items(in), ID::stats).title, "今天 0 条");  // not read yet
    in.today = TodayStats{4, 2, 1};
    EXPECT_EQ(StatusMenuModel::statusTitle(in), " 4 · 50%");
    const auto stats = item(StatusMenuModel::items(in), ID::stats);
    EXPECT_EQ(stats.title, "今天 4 条 · 排第一就是所选 50%（1/2）");
    EXPECT_FALSE(stats.enabled);
    in.historyInMemory = true;
    EXPECT_EQ(item(StatusMenuModel::items(in), ID::stats).title,
              "⚠︎ 历史记录打不开，本次运行不保存");
    in.historyInMemory = false;

    // Whole percentages, halves away from zero.
    for (auto [counts, shown] : {std::pair{TodayStats{9, 3, 2}, "67%"},
                                 {TodayStats{9, 8, 1}, "13%"},
                                 {TodayStats{9, 3, 3}, "100%"}})
        EXPECT_EQ(StatusMenuModel::hitPercentage(counts), shown);

    // Warnings lead the title: PopClip only matters while the bar is on.
    in.today = TodayStats{4, 2, 1};
    in.popclipRunning = true;
    in.pendingUpdate = "1.4.0";
    EXPECT_EQ(StatusMenuModel::statusTitle(in), " ⚠︎ ⬆︎ 4 · 50%");
    in.barEnabled = false;
    EXPECT_EQ(StatusMenuModel::statusTitle(in), " ⬆︎ 4 · 50%");
}

TEST(StatusMenuModel, ItemsShowOnlyWhatApplies) {
    auto in = inputs();
    auto items = StatusMenuModel::items(in);
    EXPECT_EQ(item(items, ID::accessibility).title, "辅助功能：已授权");
    EXPECT_FALSE(item(items, ID::accessibility).enabled);
    in.pendingUpdate = "2.0.1";
    in.popclipRunning = true;
    in.legacySecretsPending = true;
    in.trusted = false;
    items = StatusMenuModel::items(in);
    for (auto id : {ID::updateAvailable, ID::popclipWarning, ID::importLegacySecrets})
        EXPECT_FALSE(item(items, id).hidden);
    EXPECT_EQ(item(items, ID::updateAvailable).title, "⬆︎ 有新版本 2.0.1，点此更新");
    EXPECT_EQ(item(items, ID::accessibility).title, "辅助功能：未授权，点此打开设置");
    EXPECT_TRUE(item(items, ID::accessibility).enabled);

    // With the bar off, PopClip popping up too is no conflict.
    in.barEnabled = false;
    items = StatusMenuModel::items(in);
    EXPECT_TRUE(item(items, ID::popclipWarning).hidden);
    EXPECT_FALSE(item(items, ID::toggleBar).checked);
}

TEST(StatusMenuModel, BarLogTotalsEveryApplicationAndListsTheFirstTen) {
    auto in = inputs();
    EXPECT_EQ(item(StatusMenuModel::items(in), ID::barLog).title, "小条记录");

    in.barSummary = std::vector<BarAppSummary>{};
    EXPECT_EQ(item(StatusMenuModel::items(in), ID::barLog).submenu,
              std::vector<std::string>{"还没有记录"});

    std::vector<BarAppSummary> rows = {{"org.gnome.Terminal", 1, 3, 95.5},
                                       {"(未知)", 2, 0, std::nullopt},
                                       {"firefox-esr", 1, 2, 80.4}};
    for (int i = 0; i < 9; ++i) rows.push_back({"app" + std::to_string(i), 10, 0, 40.0});
    in.barSummary = rows;
    const auto log = item(StatusMenuModel::items(in), ID::barLog);
    // The totals count all twelve applications; the submenu only the first ten.
    EXPECT_EQ(log.title, "小条：累计弹出 94 次 · 漏弹 5 次");
    ASSERT_EQ(log.submenu.size(), 10u);
    EXPECT_EQ(log.submenu[0], "org.gnome.Terminal：弹 1 · 漏 3 · 弹出率 25% · 延迟 96 ms");
    EXPECT_EQ(log.submenu[1], "(未知)：弹 2 · 漏 0 · 弹出率 100% · 延迟 —");
    EXPECT_EQ(log.submenu[2], "firefox-esr：弹 1 · 漏 2 · 弹出率 33% · 延迟 80 ms");
}

TEST(StatusMenuModel, PauseShowsItsEndInTheUsersZoneAndLanguage) {
    auto in = inputs();
    in.pausedUntil = now + std::chrono::minutes(30);  // 14:30 in Shanghai
    EXPECT_EQ(item(StatusMenuModel::items(in), ID::togglePause).title, "已暂停到 14:30，点此恢复");
    in.timeZone = "Europe/Berlin";
    EXPECT_EQ(item(StatusMenuModel::items(in), ID::togglePause).title, "已暂停到 08:30，点此恢复");
    Language de("de");  // 24-hour forms, whatever the language's habit
    EXPECT_EQ(StatusMenuModel::pauseEnd(now + std::chrono::minutes(65), "Asia/Shanghai"), "15:05");
}
