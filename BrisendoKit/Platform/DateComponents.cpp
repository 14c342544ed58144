#include "BrisendoKit/Platform/DateComponents.h"
#include "BrisendoKit/Support/Calendar.h"

#include <chrono>
#include <cmath>

namespace pivorel {

std::optional<TimePoint> DateComponents::instant() const {
    // Far outside any calendar's range the fields would overflow ICU's arithmetic.
    const auto sane = [](int v) { return v > -1'000'000 && v < 1'000'000; };
    if (!sane(year) || !sane(month) || !sane(day) || !sane(hour.value_or(0)) ||
        !sane(minute.value_or(0))) {
        return std::nullopt;
    }
    std::unique_ptr<icu::Calendar> cal(calendar ? calendar->clone() : currentCalendar().release());
    if (!cal) return std::nullopt;
    cal->setLenient(true);
    cal->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    cal->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    cal->clear();
    cal->set(year, month - 1, day, hour.value_or(0), minute.value_or(0), 0);
    UErrorCode status = U_ZERO_ERROR;
    const UDate ms = cal->getTime(status);
    if (U_FAILURE(status) || !std::isfinite(ms)) return std::nullopt;
    // The clock counts nanoseconds in 64 bits: about 292 years either side of 1970.
    using Ms = std::chrono::duration<double, std::milli>;
    const auto limit = std::chrono::duration_cast<Ms>(TimePoint::duration::max()).count();
    if (std::fabs(ms) >= limit) return std::nullopt;
    return TimePoint(std::chrono::duration_cast<TimePoint::duration>(Ms(ms)));
}

bool operator==(const DateComponents& a, const DateComponents& b) {
    if (a.year != b.year || a.month != b.month || a.day != b.day || a.hour != b.hour ||
        a.minute != b.minute) {
        return false;
    }
    if (!a.calendar || !b.calendar) return !a.calendar && !b.calendar;
    return a.calendar->isEquivalentTo(*b.calendar);
}

}  // namespace pivorel
