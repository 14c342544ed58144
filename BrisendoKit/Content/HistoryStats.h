#pragma once

#include <map>

#include "BrisendoKit/Actions/ActionID.h"

namespace pivorel {

// How often earlier selections ended with each action: `contextual` counts the selections
// of the same application (or of none, when the application is unknown) with the same
// primary kind; `global` the same over every application. Dry selections never count.
struct HistoryStats {
    std::map<ActionID, long long> contextual;
    std::map<ActionID, long long> global;

    // No history at all; what ranking gets when the history cannot be read.
    static HistoryStats empty() { return {}; }

    bool operator==(const HistoryStats&) const = default;
};

}  // namespace pivorel
