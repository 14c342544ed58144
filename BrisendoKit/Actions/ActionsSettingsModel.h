#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Actions/ExtensionPreset.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// The settings window's view of the action configuration. Every edit normalizes the
// configuration, tells the observers and writes the file; a failed write keeps the edit
// in memory (and leaves a log line).
class ActionsSettingsModel {
  public:
    explicit ActionsSettingsModel(ActionConfigStore store);

    const ActionConfig& config() const { return config_; }
    std::vector<ActionID> actions() const { return config_.orderedActions(); }
    ActionCatalog catalog() const { return ActionCatalog(config_); }

    // Moves the actions at `fromOffsets` so they stand, in their order, before the action
    // that was at `toOffset` (actions().size() for the end) before the move. Offsets out of
    // range are ignored.
    void move(std::vector<std::size_t> fromOffsets, std::size_t toOffset);
    void setHidden(const ActionID& id, bool hidden);
    void setSmart(bool on);
    // Clamped into ActionConfig::barCountRange.
    void setBarCount(std::int64_t count);
    // Replaces the custom action with the same id in place, or appends it.
    void upsert(const CustomAction& action);
    // Called "delete" elsewhere; that is a keyword here. Removes the custom action and the
    // identifier from the order and the hidden list; a built-in action thereby moves to the
    // end of the order and is shown again.
    void remove(const ActionID& id);
    // Default order, nothing hidden, smart ranking on, default bar size; keeps the custom
    // actions (they follow the built-in ones).
    void resetToDefaults();

    // Whether one of the custom actions was made from `preset` or has its template.
    bool isAdded(const ExtensionPreset& preset) const;
    // Appends the preset as a new custom action. False, and nothing changes, when it is
    // already added or not usable.
    bool add(const ExtensionPreset& preset);

    // Built-in actions missing on this desktop, which the page shows as not installed.
    // Setting them tells the observers and writes nothing.
    const std::set<ActionID>& unavailable() const { return unavailable_; }
    void setUnavailable(std::set<ActionID> ids);

    // Whether the last edit reached the file.
    bool lastSaveSucceeded() const { return lastSaveSucceeded_; }

    // Emitted after every edit, before the file is written.
    Signal<> changed;

  private:
    void commit();

    ActionConfigStore store_;
    ActionConfig config_;
    std::set<ActionID> unavailable_;
    bool lastSaveSucceeded_ = true;
};

}  // namespace pivorel
