#include "Pivorel/Linux/ClickCounter.h"

#include <cmath>

namespace pivorel {

std::int64_t ClickCounter::press(std::uint32_t button, std::uint32_t time, Point at) {
    // Unsigned subtraction keeps working across the wrap of the server clock; a press that
    // claims to be older than the last one comes out huge and starts a new series.
    const std::uint32_t elapsed = time - time_;
    const bool continues = count_ > 0 && button == button_ && elapsed <= interval_ &&
                           std::hypot(at.x - at_.x, at.y - at_.y) <= maxDistance;
    count_ = continues ? count_ + 1 : 1;
    button_ = button;
    time_ = time;
    at_ = at;
    return count_;
}

std::int64_t ClickCounter::count(std::uint32_t button) const {
    return button == button_ && count_ > 0 ? count_ : 1;
}

}  // namespace pivorel
