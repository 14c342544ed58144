#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "BrisendoKit/Actions/ActionID.h"

namespace pivorel {

// The score each built-in action starts from before content, application and history are
// weighed. The ranker builds its baseline slots from it, and the default action order is
// these scores, highest first (ties keep the canonical order).
struct BaseScore {
    std::string_view action;
    int score;
};

inline constexpr std::array<BaseScore, 13> baseScores{{
    {"ask", 30},
    {"translate", 20},
    {"flomo", 30},
    {"calendar", 10},
    {"todo", 10},
    {"dayOne", 15},
    {"google", 20},
    {"kagi", 15},
    {"openURL", 0},
    {"copy", 15},
    {"cut", 5},
    {"paste", 5},
    {"lookup", 5},
}};

// Nothing for identifiers that are not built in.
inline std::optional<int> baseScore(const ActionID& id) {
    for (const BaseScore& entry : baseScores) {
        if (entry.action == id.rawValue) return entry.score;
    }
    return std::nullopt;
}

}  // namespace pivorel
