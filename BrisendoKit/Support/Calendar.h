#pragma once

#include <unicode/calendar.h>

#include <memory>

namespace pivorel {

// A Gregorian calendar in the user's time zone (TZ); null if ICU cannot make one.
std::unique_ptr<icu::Calendar> currentCalendar();

}  // namespace pivorel
