#include "BrisendoKit/LanguageModel/PackStatusMonitor.h"

#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

PackStatusMonitor::PackStatusMonitor(MainQueue& queue, std::optional<bool> initial, double interval,
                                     std::function<bool()> isActive, std::function<bool()> check)
    : queue_(queue),
      ready_(initial),
      interval_(interval),
      isActive_(std::move(isActive)),
      check_(std::move(check)) {}

PackStatusMonitor::~PackStatusMonitor() {
    stop();
}

void PackStatusMonitor::refresh() {
    if (!check_) return;
    const bool installed = check_();
    if (ready_ == installed) return;
    ready_ = installed;
    readyChanged.emit(ready_);
}

void PackStatusMonitor::start() {
    if (loop_) return;
    loop_ = std::make_shared<int>(0);
    tick(loop_);
}

void PackStatusMonitor::stop() {
    loop_.reset();
}

void PackStatusMonitor::tick(const std::shared_ptr<int>& loop) {
    // In the background the packs cannot change through us; skip the check once known.
    if (!ready_ || !isActive_ || isActive_()) refresh();
    std::weak_ptr<int> weak = loop;
    queue_.postAfter(interval_, [this, weak] {
        // A timer of a stopped poll, or of a monitor that is gone, finds its loop expired.
        if (auto current = weak.lock()) tick(current);
    });
}

}  // namespace pivorel
