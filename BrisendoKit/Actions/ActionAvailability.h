#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Platform/DesktopTargets.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// The built-in actions whose program or link handler is missing on this desktop. The bar
// and the panel skip them after ranking, so the next action moves up; the settings page
// shows them as not installed. Custom actions and the other built-ins are always there.
// Main thread.
class ActionAvailability {
  public:
    // The actions `presence` leaves without a target.
    static std::set<ActionID> missing(const DesktopTargets::Presence& presence);
    // What would make `id` available, in the interface language; nothing for an action
    // that needs nothing installed.
    static std::optional<std::string> requirement(const ActionID& id);

    const std::set<ActionID>& unavailable() const { return unavailable_; }
    bool isAvailable(const ActionID& id) const { return !unavailable_.contains(id); }
    // Emits changed when the set differs from the one held.
    void setUnavailable(std::set<ActionID> ids);

    // `ranked` without the unavailable actions, in its order.
    std::vector<ActionID> available(std::vector<ActionID> ranked) const;

    Signal<> changed;

  private:
    std::set<ActionID> unavailable_;
};

}  // namespace pivorel
