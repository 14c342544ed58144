#include "BrisendoKit/Shell/Relauncher.h"

#include <cmath>

#include "BrisendoKit/Shell/PermissionGuide.h"
#include "BrisendoKit/Shell/RelaunchContinuation.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/UserDefaults.h"

namespace pivorel {

Relauncher::Relauncher(RelaunchPlatform& platform, UserDefaults& defaults, const Clock& clock,
                       MainQueue& queue)
    : platform_(platform), defaults_(defaults), clock_(clock), queue_(queue) {}

bool Relauncher::relaunch(std::string_view reason, double loopWindow) {
    const auto path = platform_.executablePath();
    if (!platform_.isInstalledExecutable(path)) {
        PermissionGuide::log("relaunch skipped (not an installed executable): " + path.string());
        return false;
    }
    const double now = toUnixSeconds(clock_.now());
    const double last = defaults_.doubleValue(lastRelaunchKey).value_or(0);
    if (std::isfinite(last) && last > 0) {
        const double elapsed = now - last;
        // A stamp far in the future comes from a clock that was wrong then; it must not
        // block relaunching for as long as the error was.
        if (elapsed < loopWindow && elapsed > -loopWindow) {
            PermissionGuide::log("relaunch skipped (already relaunched " +
                                 std::to_string(static_cast<long long>(std::trunc(elapsed))) +
                                 "s ago): " + std::string(reason));
            return false;
        }
    }
    if (auto spawned = platform_.spawnRelaunch(path); !spawned) {
        PermissionGuide::log("relaunch failed to spawn: " + spawned.error());
        return false;
    }
    defaults_.set(lastRelaunchKey, now);
    PermissionGuide::log("relaunching: " + std::string(reason));
    queue_.postAfter(terminateDelay, [&platform = platform_] { platform.terminate(); });
    return true;
}

void Relauncher::continueAfterGrant(PermissionKind kind) {
    RelaunchContinuation::Pending pending;
    pending.kind = std::string(toString(kind));
    pending.action = "barReady";
    pending.savedAt = toUnixSeconds(clock_.now());
    RelaunchContinuation::save(pending, continuationPath);
    if (!relaunch(pending.kind + " granted", 300.0)) {
        RelaunchContinuation::takePending(120.0, continuationPath, clock_.now());
        Log::write("Pivorel: 辅助功能已授权，请退出再打开一次 Pivorel");
    }
}

}  // namespace pivorel
