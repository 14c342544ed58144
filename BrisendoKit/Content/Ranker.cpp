#include "BrisendoKit/Content/Ranker.h"

#include <algorithm>
#include <map>
#include <string>

namespace pivorel {

namespace {

double bonusFor(const RankingRules::BonusMap& table, const ActionID& action) {
    const auto it = table.find(action);
    return it == table.end() ? 0 : it->second;
}

// Summed as doubles: the counts come from a database and must not overflow anything here.
double total(const std::map<ActionID, long long>& counts) {
    double sum = 0;
    for (const auto& [action, count] : counts) sum += static_cast<double>(count);
    return sum;
}

double countFor(const std::map<ActionID, long long>& counts, const ActionID& action) {
    const auto it = counts.find(action);
    return it == counts.end() ? 0 : static_cast<double>(it->second);
}

// Application identifier to the index of the first group naming it; macOS identifiers of a
// group come before its Linux ones, and earlier groups before later ones.
const std::map<std::string, std::size_t, std::less<>>& groupIndex() {
    static const std::map<std::string, std::size_t, std::less<>> index = [] {
        std::map<std::string, std::size_t, std::less<>> map;
        const auto& groups = RankingRules::appGroups();
        const auto& linuxGroups = RankingRules::linuxAppGroups();
        for (std::size_t g = 0; g < groups.size(); ++g) {
            for (const std::string& app : groups[g].apps) map.emplace(app, g);
            if (g < linuxGroups.size()) {
                for (const std::string& app : linuxGroups[g]) map.emplace(app, g);
            }
        }
        return map;
    }();
    return index;
}

}  // namespace

const RankingRules::BonusMap& Ranker::appBonusTable(std::optional<std::string_view> app) {
    static const RankingRules::BonusMap none;
    if (!app) return none;
    const auto& index = groupIndex();
    const auto it = index.find(*app);
    return it == index.end() ? none : RankingRules::appGroups()[it->second].bonuses;
}

std::vector<RankedAction> Ranker::rank(const ContentProfile& profile,
                                       std::optional<std::string_view> app,
                                       const HistoryStats& history, const ActionConfig& config,
                                       bool editable) {
    const ActionConfig normalized = config.normalized();

    // Candidates in the user's order; each keeps the position it has in the full order, so
    // a hidden action still holds its baseline slot.
    std::vector<RankedAction> ranked;
    std::vector<std::int64_t> positions;
    ranked.reserve(normalized.order.size());
    positions.reserve(normalized.order.size());
    for (std::size_t p = 0; p < normalized.order.size(); ++p) {
        ActionID action(normalized.order[p]);
        if (normalized.isHidden(action) || !RankingRules::isEligible(action, profile)) continue;
        ranked.push_back({std::move(action), 0});
        positions.push_back(static_cast<std::int64_t>(p));
    }

    if (!normalized.smartRanking) {
        const std::size_t n = ranked.size();
        for (std::size_t k = 0; k < n; ++k) ranked[k].score = static_cast<double>(n - k);
        return ranked;
    }

    const auto& kindBonus = RankingRules::kindBonus();
    std::vector<const RankingRules::BonusMap*> kindTables;
    for (ContentKind kind : profile.kinds) {
        if (const auto it = kindBonus.find(kind); it != kindBonus.end()) {
            kindTables.push_back(&it->second);
        }
    }
    const RankingRules::BonusMap& appBonus = appBonusTable(app);
    const double contextualTotal = total(history.contextual);
    const double globalTotal = total(history.global);
    const double contextualWeight = RankingRules::historyWeight;
    const double globalWeight = RankingRules::historyWeight * RankingRules::globalHistoryFactor;

    for (std::size_t k = 0; k < ranked.size(); ++k) {
        const ActionID& action = ranked[k].action;
        double score = RankingRules::baseline(positions[k]);
        for (const RankingRules::BonusMap* table : kindTables) score += bonusFor(*table, action);
        score += bonusFor(appBonus, action);
        if (editable) score += bonusFor(RankingRules::editableBonus(), action);
        if (contextualTotal >= 1) {
            score += countFor(history.contextual, action) * contextualWeight /
                     (contextualTotal + RankingRules::historyPrior);
        }
        if (globalTotal >= 1) {
            score += countFor(history.global, action) * globalWeight /
                     (globalTotal + RankingRules::historyPrior);
        }
        ranked[k].score = score;
    }

    // Stable: equal scores keep the user's order.
    std::stable_sort(
        ranked.begin(), ranked.end(),
        [](const RankedAction& a, const RankedAction& b) { return a.score > b.score; });
    return ranked;
}

std::vector<ActionID> Ranker::barOrder(std::vector<ActionID> ranked, std::int64_t count,
                                       bool smartRanking) {
    if (!smartRanking || count < 1) return ranked;
    const auto copy = std::find(ranked.begin(), ranked.end(), ActionID::copy());
    if (copy == ranked.end() || copy - ranked.begin() < count) return ranked;
    // copy sits at or beyond index count, so count - 1 is inside the list.
    const auto target = ranked.begin() + (count - 1);
    std::rotate(target, copy, copy + 1);
    return ranked;
}

}  // namespace pivorel
