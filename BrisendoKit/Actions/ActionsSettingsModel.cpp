#include "BrisendoKit/Actions/ActionsSettingsModel.h"

#include <algorithm>

#include "BrisendoKit/Support/Log.h"

namespace pivorel {

ActionsSettingsModel::ActionsSettingsModel(ActionConfigStore store)
    : store_(std::move(store)), config_(store_.load()) {}

void ActionsSettingsModel::commit() {
    config_ = config_.normalized();
    changed.emit();
    lastSaveSucceeded_ = store_.save(config_);
    if (!lastSaveSucceeded_) {
        Log::write("Pivorel: " + store_.url.filename().string() + " 保存失败");
    }
}

void ActionsSettingsModel::move(std::vector<std::size_t> fromOffsets, std::size_t toOffset) {
    std::vector<std::string> order;
    for (ActionID& id : config_.orderedActions()) order.push_back(std::move(id.rawValue));

    std::sort(fromOffsets.begin(), fromOffsets.end());
    fromOffsets.erase(std::unique(fromOffsets.begin(), fromOffsets.end()), fromOffsets.end());
    fromOffsets.erase(std::lower_bound(fromOffsets.begin(), fromOffsets.end(), order.size()),
                      fromOffsets.end());
    toOffset = std::min(toOffset, order.size());

    std::vector<std::string> moving, staying;
    std::size_t next = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (next < fromOffsets.size() && fromOffsets[next] == i) {
            moving.push_back(std::move(order[i]));
            ++next;
        } else {
            staying.push_back(std::move(order[i]));
        }
    }
    // The destination counted the moved entries that stood before it.
    const auto movedBefore = static_cast<std::size_t>(
        std::lower_bound(fromOffsets.begin(), fromOffsets.end(), toOffset) - fromOffsets.begin());
    const auto insertAt = static_cast<std::ptrdiff_t>(toOffset - movedBefore);
    staying.insert(staying.begin() + insertAt, std::make_move_iterator(moving.begin()),
                   std::make_move_iterator(moving.end()));
    config_.order = std::move(staying);
    commit();
}

void ActionsSettingsModel::setHidden(const ActionID& id, bool hidden) {
    std::erase(config_.hidden, id.rawValue);
    if (hidden) config_.hidden.push_back(id.rawValue);
    commit();
}

void ActionsSettingsModel::setSmart(bool on) {
    config_.smartRanking = on;
    commit();
}

void ActionsSettingsModel::setBarCount(std::int64_t count) {
    config_.barCount = count;
    commit();
}

void ActionsSettingsModel::upsert(const CustomAction& action) {
    const auto it = std::find_if(config_.custom.begin(), config_.custom.end(),
                                 [&](const CustomAction& a) { return a.id == action.id; });
    if (it != config_.custom.end()) {
        *it = action;
    } else {
        config_.custom.push_back(action);
    }
    commit();
}

void ActionsSettingsModel::remove(const ActionID& id) {
    std::erase_if(config_.custom, [&](const CustomAction& a) { return a.id == id.rawValue; });
    std::erase(config_.order, id.rawValue);
    std::erase(config_.hidden, id.rawValue);
    commit();
}

void ActionsSettingsModel::resetToDefaults() {
    ActionConfig fresh = ActionConfig::defaultConfig();
    fresh.custom = std::move(config_.custom);
    config_ = std::move(fresh);
    commit();
}

void ActionsSettingsModel::setUnavailable(std::set<ActionID> ids) {
    if (ids == unavailable_) return;
    unavailable_ = std::move(ids);
    changed.emit();
}

bool ActionsSettingsModel::isAdded(const ExtensionPreset& preset) const {
    return std::any_of(config_.custom.begin(), config_.custom.end(),
                       [&](const CustomAction& action) { return preset.matches(action); });
}

bool ActionsSettingsModel::add(const ExtensionPreset& preset) {
    if (isAdded(preset) || preset.validationError()) return false;
    upsert(preset.makeAction());
    return true;
}

}  // namespace pivorel
