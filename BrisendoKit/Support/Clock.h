#pragma once

#include <chrono>

namespace pivorel {

using TimePoint = std::chrono::system_clock::time_point;

// Seconds since 1970-01-01 as a double: the stored form of every time.
double toUnixSeconds(TimePoint t);
TimePoint fromUnixSeconds(double seconds);

// Seconds between two time points, as a double.
double secondsBetween(TimePoint from, TimePoint to);

// The source of "now". Code whose behaviour depends on time takes it (or `now`) as an
// argument, so tests can fix it.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock {
  public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace pivorel
