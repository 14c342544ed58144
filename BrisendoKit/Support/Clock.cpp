#include "BrisendoKit/Support/Clock.h"

#include <cmath>

namespace pivorel {

double toUnixSeconds(TimePoint t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

TimePoint fromUnixSeconds(double seconds) {
    // Out-of-range or non-finite stored values must not overflow the duration cast.
    constexpr double limit = 9.0e9;  // year 2255; the nanosecond clock ends near 9.22e9
    if (!std::isfinite(seconds)) seconds = 0;
    if (seconds > limit) seconds = limit;
    if (seconds < -limit) seconds = -limit;
    return TimePoint(
        std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds)));
}

double secondsBetween(TimePoint from, TimePoint to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace pivorel
