#include "BrisendoKit/Actions/ActionAvailability.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

std::set<ActionID> ActionAvailability::missing(const DesktopTargets::Presence& presence) {
    std::set<ActionID> out;
    if (!presence.dictionary) out.insert(ActionID::lookup());
    if (!presence.journal) out.insert(ActionID::dayOne());
    if (!presence.calendar) out.insert(ActionID::calendar());
    return out;
}

std::optional<std::string> ActionAvailability::requirement(const ActionID& id) {
    if (id == ActionID::lookup()) return L("装上 GoldenDict 或 GNOME 词典后可用");
    if (id == ActionID::dayOne()) return L("需要能打开 dayone:// 链接的 App");
    if (id == ActionID::calendar()) {
        return L("需要日历服务（Evolution Data Server）或能打开 .ics 文件的日历 App");
    }
    return std::nullopt;
}

void ActionAvailability::setUnavailable(std::set<ActionID> ids) {
    if (ids == unavailable_) return;
    unavailable_ = std::move(ids);
    changed.emit();
}

std::vector<ActionID> ActionAvailability::available(std::vector<ActionID> ranked) const {
    std::erase_if(ranked, [this](const ActionID& id) { return unavailable_.contains(id); });
    return ranked;
}

}  // namespace pivorel
