#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unicode/calendar.h>

#include "BrisendoKit/Platform/DateComponents.h"
#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// Reads a day and a time of day out of free Chinese or English text («明天下午3点»,
// «下周五», «12月3日 14:30», «tomorrow 9am») relative to `now`. Pure; the patterns are
// compiled once per process and shared read-only, so calls may come from any thread.
class DateExtractor {
  public:
    DateExtractor() = delete;

    // The date and, when the text names one, the time. The calendar decides the time zone
    // and the fields; a copy of it (weeks starting on Monday) is attached to the result.
    static std::optional<DateComponents> extract(std::string_view text, TimePoint now,
                                                 const icu::Calendar& calendar);

    // «12月3日 14:30» or «Dec 3 14:30»: the localized abbreviated month and day in the
    // interface language, then " HH:MM" when there is an hour.
    static std::string describe(const DateComponents& components);

    // An hour written in digits or Chinese numerals («15», «十五», «二十三», «两»).
    static std::optional<int> number(std::string_view text);
};

}  // namespace pivorel
