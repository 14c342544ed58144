#pragma once

#include <optional>
#include <string>

#include "BrisendoKit/Platform/DateComponents.h"
#include "BrisendoKit/Platform/ReminderError.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// One reminder as the service stores it.
struct NewReminder {
    std::string title;
    std::optional<std::string> notes;
    // The due date; with an hour it is a wall-clock time in the components' calendar.
    std::optional<DateComponents> due;
    // When to alert the user; only set together with a due time of day.
    std::optional<TimePoint> alarm;
};

// The user's reminders: on the desktop, the default task list of the calendar service or a
// folder of iCalendar to-dos; tests use a fake. One object serves one `add`: it is opened
// fresh each time, so nothing is cached between reminders. Calls block and may run on any
// thread but the main one.
class RemindersService {
  public:
    virtual ~RemindersService() = default;

    // Asks for access to the reminders (the first time, the user may be asked). True when
    // granted, false when refused; an error when the request itself failed.
    virtual Result<bool, ReminderError> requestAccess() = 0;

    // The list new reminders go into, by the name the user knows it by (a list's title, a
    // folder's path), or nothing when there is none.
    virtual std::optional<std::string> defaultList() = 0;

    // Saves `reminder` into `list` and commits it at once.
    virtual Result<Done, ReminderError> save(const std::string& list,
                                             const NewReminder& reminder) = 0;
};

}  // namespace pivorel
