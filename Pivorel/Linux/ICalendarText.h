#pragma once

#include <string>
#include <string_view>

#include "BrisendoKit/Platform/CalendarService.h"
#include "BrisendoKit/Platform/RemindersService.h"
#include "BrisendoKit/Support/Clock.h"

// iCalendar files of one item, written with libical. Text is made safe first: broken UTF-8
// repaired, control characters other than tab and line breaks removed. A wall-clock time
// carries its zone's VTIMEZONE, or is written in UTC for a zone the library does not know;
// a date no iCalendar year can hold is left out.
namespace pivorel::ical {

// A random (version 4) UUID.
std::string newUid();

// A VTODO with SUMMARY, DESCRIPTION, DUE (a date or a wall-clock time) and a display alarm
// at `reminder.alarm`.
std::string todo(const NewReminder& reminder, std::string_view uid, TimePoint stamp);

// A VEVENT with SUMMARY, DESCRIPTION and DTSTART: a whole day for a date, an hour for a
// time of day.
std::string event(const NewEvent& event, std::string_view uid, TimePoint stamp);

}  // namespace pivorel::ical
