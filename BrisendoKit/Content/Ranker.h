#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Content/ContentProfile.h"
#include "BrisendoKit/Content/HistoryStats.h"
#include "BrisendoKit/Content/RankedAction.h"
#include "BrisendoKit/Content/RankingRules.h"

namespace pivorel {

// Orders the actions for one selection. Pure: the same inputs always give the same list.
struct Ranker {
    Ranker() = delete;

    // Every action of the normalized configuration that is neither hidden nor out of place
    // for the text (openURL without a link), best first. With smart ranking off the user's
    // order is kept exactly; otherwise the user's order, the kinds of the text, the
    // application (its bundle identifier), an editable field and the history are weighed,
    // and equal scores keep the user's order.
    static std::vector<RankedAction> rank(const ContentProfile& profile,
                                          std::optional<std::string_view> app,
                                          const HistoryStats& history, const ActionConfig& config,
                                          bool editable);

    // The bonuses of the first application group naming `app` exactly (case-sensitive),
    // by its macOS or its Linux identifier; empty for no application or an unknown one.
    static const RankingRules::BonusMap& appBonusTable(std::optional<std::string_view> app);

    // The order the bar lays a ranking out in: when smart ranking is on and "copy" falls
    // beyond the first `count` entries, it moves to the last place on the bar (index
    // count - 1), so copying is always one click away. Otherwise unchanged.
    static std::vector<ActionID> barOrder(std::vector<ActionID> ranked, std::int64_t count,
                                          bool smartRanking);
};

}  // namespace pivorel
