#pragma once

#include <functional>
#include <optional>
#include <string>

#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// What the settings window needs of the update checker. Main thread.
class UpdateHook {
  public:
    virtual ~UpdateHook() = default;

    // Whether the checker looks for a new version on its own schedule.
    virtual bool autoCheck() = 0;
    virtual void setAutoCheck(bool on) = 0;
    // When the last check finished; nothing before the first one.
    virtual std::optional<TimePoint> lastCheck() = 0;
    // Starts a check the user asked for; its result arrives later.
    virtual void checkNow() = 0;
    // The program's short version ("0.1.0").
    virtual std::string version() = 0;

    // Calls `handler` on the main thread after autoCheck or lastCheck changed. A checker
    // that never changes on its own may keep this default.
    [[nodiscard]] virtual Connection observe(std::function<void()> handler) {
        (void)handler;
        return {};
    }
};

}  // namespace pivorel
