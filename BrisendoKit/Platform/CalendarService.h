#pragma once

#include <optional>
#include <string>

#include "BrisendoKit/Platform/DateComponents.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// One event as the calendar stores it: all day when `start` has no hour, else one hour long
// from that wall-clock time in the components' calendar.
struct NewEvent {
    std::string title;
    std::optional<std::string> notes;
    DateComponents start;
};

// Why an event was not added: no calendar on this desktop, or the calendar's own failure.
struct CalendarError {
    enum class Kind { noCalendar, failed };

    Kind kind = Kind::failed;
    std::string calendar;  // the calendar's name, for `failed`
    std::string reason;    // the system's message, for `failed`

    friend bool operator==(const CalendarError&, const CalendarError&) = default;
};

// The user's calendar: on the desktop, the calendar service's default calendar or the
// calendar program that opens an event file; tests use a fake. Opened fresh for each
// event; calls block and may run on any thread but the main one.
class CalendarService {
  public:
    virtual ~CalendarService() = default;

    // Adds `event` and answers the name of the calendar it went into.
    virtual Result<std::string, CalendarError> add(const NewEvent& event) = 0;
};

}  // namespace pivorel
