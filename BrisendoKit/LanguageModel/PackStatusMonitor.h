#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class MainQueue;

// Keeps the settings window's view of the translation language packs current: checks
// every `interval` seconds while the program is active (or the state is still unknown)
// and publishes the result. Main thread only.
class PackStatusMonitor {
  public:
    // `check` answers whether the packs are installed; `isActive` whether this program
    // is the active application. Both run on the main thread and must be quick.
    PackStatusMonitor(MainQueue& queue, std::optional<bool> initial, double interval,
                      std::function<bool()> isActive, std::function<bool()> check);
    ~PackStatusMonitor();
    PackStatusMonitor(const PackStatusMonitor&) = delete;
    PackStatusMonitor& operator=(const PackStatusMonitor&) = delete;

    // Absent until known.
    std::optional<bool> ready() const { return ready_; }
    // Emitted only when `ready` actually changes.
    Signal<std::optional<bool>> readyChanged;

    // Starts polling; does nothing while already polling.
    void start();
    void stop();
    bool isRunning() const { return loop_ != nullptr; }
    // Checks once now.
    void refresh();

  private:
    void tick(const std::shared_ptr<int>& loop);

    MainQueue& queue_;
    std::optional<bool> ready_;
    double interval_;
    std::function<bool()> isActive_;
    std::function<bool()> check_;
    // Identifies the running poll; timers of a stopped poll find theirs gone.
    std::shared_ptr<int> loop_;
};

}  // namespace pivorel
