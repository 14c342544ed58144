#include "BrisendoKit/Update/UpdaterHook.h"

#include "BrisendoKit/Update/Updater.h"

namespace pivorel {

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
    return updater_.stateChanged.connect(std::move(handler));
}

}  // namespace pivorel
