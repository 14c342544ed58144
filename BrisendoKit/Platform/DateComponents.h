#pragma once

#include <memory>
#include <optional>

#include <unicode/calendar.h>

#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// A calendar date read from text, with a time of day when the text gave one. Year, month
// (1-12) and day are the calendar's own fields; no time zone is stored beside the
// calendar's, so the components mean that wall-clock date in the calendar's zone.
struct DateComponents {
    int year = 0;
    int month = 0;
    int day = 0;
    std::optional<int> hour;
    std::optional<int> minute;
    // The calendar the fields belong to. Shared and never modified once attached.
    std::shared_ptr<const icu::Calendar> calendar;

    // The moment the components name in their calendar (the current calendar when none is
    // attached): the start of the day without an hour. A wall time skipped by a clock
    // change becomes the first moment after the gap; a repeated one, its first occurrence.
    // Nothing when the fields do not make a moment the clock can hold.
    std::optional<TimePoint> instant() const;

    // Equal fields and equivalent calendars (same kind, zone and week rules).
    friend bool operator==(const DateComponents& a, const DateComponents& b);
};

}  // namespace pivorel
