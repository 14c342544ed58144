#pragma once

#include <optional>
#include <string_view>

#include <unicode/calendar.h>

#include "BrisendoKit/Platform/CalendarService.h"
#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// What a selection becomes in the calendar: the reminder's title and notes, starting at the
// date the text names, or at the next full hour when it names none.
struct EventDraft {
    NewEvent event;
    bool dated = false;  // the text named the date

    // `app` is the source application's display name, `url` the page the text came from.
    static EventDraft make(std::string_view text, std::optional<std::string_view> app,
                           std::optional<std::string_view> url, TimePoint now,
                           const icu::Calendar& calendar);
};

}  // namespace pivorel
