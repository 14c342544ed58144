#pragma once

#include <string>
#include <vector>

#include "BrisendoKit/Actions/ActionID.h"

namespace pivorel {

class ActionsSettingsModel;

// One row of the actions page, in the configured order.
struct ActionRow {
    ActionID id;
    std::string title;
    std::string symbol;
    bool custom = false;
    bool hidden = false;
    // Its program or link handler is missing here; `requirement` says what would help.
    bool unavailable = false;
    std::string requirement;
    // Falls on the bar: one of the first bar-size actions that are neither hidden nor
    // unavailable.
    bool onBar = false;
    // The eye button's help text, and what a screen reader says for the row.
    std::string eyeHelp;
    std::string accessibilityLabel;

    static std::vector<ActionRow> rows(const ActionsSettingsModel& model);

    // The smart-ranking switch's description for its state.
    static std::string smartDescription(bool on);
};

}  // namespace pivorel
