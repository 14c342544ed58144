#pragma once

#include "Platform/UpdateHook.h"

namespace pivorel {

class Updater;
class UserDefaults;

// The settings window's view of the update checker. Both must outlive the hook.
class UpdaterHook final : public UpdateHook {
  public:
    UpdaterHook(Updater& updater, UserDefaults& defaults);

    bool autoCheck() override;
    void setAutoCheck(bool on) override;
    std::optional<TimePoint> lastCheck() override;
    void checkNow() override;
    std::string version() override;
    // The checker keeps both values in user defaults; their changes are what is told.
    Connection observe(std::function<void()> handler) override;

  private:
    Updater& updater_;
    UserDefaults& defaults_;
};

}  // namespace pivorel
