#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Actions/BaseScores.h"
#include "BrisendoKit/Content/ContentProfile.h"

namespace pivorel {

// The constant tables the ranker weighs actions with. Built once per process on first use.
struct RankingRules {
    RankingRules() = delete;

    using BonusMap = std::map<ActionID, double>;

    // Applications that want the same actions, and what those actions gain there.
    struct AppGroup {
        std::vector<std::string> apps;  // bundle identifiers
        BonusMap bonuses;
    };

    // The base scores (Actions/BaseScores.h) highest first. A slot belongs to a position
    // in the user's order, not to an action: whatever comes first gets the first slot.
    static constexpr std::array<int, baseScores.size()> baselineSlots = [] {
        std::array<int, baseScores.size()> slots{};
        for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = baseScores[i].score;
        std::sort(slots.begin(), slots.end(), [](int a, int b) { return a > b; });
        return slots;
    }();

    static constexpr double historyWeight = 80.0;
    // Pseudo-count added to the history total, so a single early choice cannot dominate.
    static constexpr double historyPrior = 3.0;
    static constexpr double globalHistoryFactor = 0.4;
    // The most ranked actions the panel lists; the ranking itself is never cut.
    static constexpr std::size_t maxVisible = 14;

    // The baseline slot of `position`; 0 past the last slot (and for a negative position).
    static double baseline(std::int64_t position);

    // openURL makes sense only for a link; every other action always does.
    static bool isEligible(const ActionID& action, const ContentProfile& profile);

    // Bonuses per kind of content; a kind or action without an entry gets 0.
    static const std::map<ContentKind, BonusMap>& kindBonus();
    // Added when the selection sits in an editable field.
    static const BonusMap& editableBonus();
    // Browsers, mail, chat, developer tools and terminals, readers, notes and tasks, in
    // this order; the first group naming an application wins.
    static const std::vector<AppGroup>& appGroups();
    // The same applications as installed on Linux (desktop-file ids without ".desktop"):
    // entry i lists the identifiers that join appGroups()[i].
    static const std::vector<std::vector<std::string>>& linuxAppGroups();
};

}  // namespace pivorel
