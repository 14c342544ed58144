#pragma once

#include "BrisendoKit/Platform/UpdateHook.h"

namespace pivorel {

class Updater;

// The settings window's view of the updater.
class UpdaterHook final : public UpdateHook {
  public:
    explicit UpdaterHook(Updater& updater) : updater_(updater) {}

    bool autoCheck() override;
    void setAutoCheck(bool on) override;
    std::optional<TimePoint> lastCheck() override;
    void checkNow() override;
    std::string version() override;
    Connection observe(std::function<void()> handler) override;

  private:
    Updater& updater_;
};

}  // namespace pivorel
