#include "Settings/UpdaterHook.h"

#include "Storage/UserDefaults.h"
#include "Update/Updater.h"

namespace pivorel {

UpdaterHook::UpdaterHook(Updater& updater, UserDefaults& defaults)
    : updater_(updater), defaults_(defaults) {}

bool UpdaterHook::autoCheck() {
    return updater_.automaticChecks();
}

void UpdaterHook::setAutoCheck(bool on) {
    updater_.setAutomaticChecks(on);
}

std::optional<TimePoint> UpdaterHook::lastCheck() {
    return updater_.lastCheck();
}

void UpdaterHook::checkNow() {
    updater_.checkNow();
}

std::string UpdaterHook::version() {
    return updater_.currentVersion();
}

Connection UpdaterHook::observe(std::function<void()> handler) {
    return defaults_.changed.connect([handler = std::move(handler)](const std::string& key) {
        if (key == Updater::automaticChecksKey || key == Updater::lastCheckKey) handler();
    });
}

}  // namespace pivorel
