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
    in.hotkeyDisplay = "Ctrl+Alt+N";
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
    EXPECT_FALSE(item(items, ID::accessibility).enabled);
    EXPECT_TRUE(item(items, ID::translationPack).hidden);  // no engine, no packs
    in.pendingUpdate = "2.0.1";
    in.popclipRunning = true;
    in.legacySecretsPending = true;
    in.trusted = false;
    in.onDeviceTranslator = true;
    items = StatusMenuModel::items(in);
    for (auto id :
         {ID::updateAvailable, ID::popclipWarning, ID::importLegacySecrets, ID::translationPack})
        EXPECT_FALSE(item(items, id).hidden);
    EXPECT_TRUE(item(items, ID::accessibility).enabled);

    // With the bar off, PopClip popping up too is no conflict.
    in.barEnabled = false;
    items = StatusMenuModel::items(in);
    EXPECT_TRUE(item(items, ID::popclipWarning).hidden);
    EXPECT_FALSE(item(items, ID::toggleBar).checked);
}
