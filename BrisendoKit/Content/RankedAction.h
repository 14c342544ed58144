#pragma once

#include "BrisendoKit/Actions/ActionID.h"

namespace pivorel {

// One entry of a ranking. Only the order of a ranking means anything to its users; the
// scores explain it and are never stored.
struct RankedAction {
    ActionID action;
    double score = 0;

    friend bool operator==(const RankedAction&, const RankedAction&) = default;
};

}  // namespace pivorel
