#pragma once

#include <cstdint>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// Counts clicks the way a desktop does: a press of the same button soon enough after the
// previous one and close enough to it continues the series (double, triple click); any
// other press starts a new one. Times are the X server's milliseconds, which wrap.
class ClickCounter {
  public:
    static constexpr std::uint32_t defaultInterval = 400;
    // Points the pointer may travel between the presses of one series.
    static constexpr double maxDistance = 5.0;

    explicit ClickCounter(std::uint32_t intervalMs = defaultInterval) : interval_(intervalMs) {}

    void setInterval(std::uint32_t intervalMs) { interval_ = intervalMs; }

    // The click count of this press.
    std::int64_t press(std::uint32_t button, std::uint32_t time, Point at);
    // The click count of the last press of `button` (what its release reports); 1 before any.
    std::int64_t count(std::uint32_t button) const;

  private:
    std::uint32_t interval_;
    std::uint32_t button_ = 0;
    std::uint32_t time_ = 0;
    Point at_;
    std::int64_t count_ = 0;
};

}  // namespace pivorel
