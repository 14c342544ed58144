#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionID.h"

namespace pivorel {

// What to show for an action: the user's own name and symbol for a custom action, the
// built-in texts otherwise.
struct ActionCatalog {
    // Custom actions by id; of two with the same id, the first in the configuration wins.
    std::unordered_map<std::string, CustomAction> custom;

    ActionCatalog() = default;
    explicit ActionCatalog(const ActionConfig& config);

    // Built from the default configuration, for callers without one at hand.
    static const ActionCatalog& builtin();

    std::string title(const ActionID& id) const;
    std::string shortTitle(const ActionID& id) const;
    std::string symbol(const ActionID& id) const;
    // A line saying where a custom action leads ("自定义 · www.example.com"); nothing for
    // actions that are not custom ones of this catalog.
    std::optional<std::string> hint(const ActionID& id) const;
};

}  // namespace pivorel
