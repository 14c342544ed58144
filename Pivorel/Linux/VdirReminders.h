#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Platform/RemindersService.h"
#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// Reminders as iCalendar to-dos in a vdir collection: one "<uid>.ics" file holding one
// VTODO per reminder, the layout todoman, khal and vdirsyncer read (and sync to CalDAV).
// Access is the right to write into the collection; the default list is the collection
// itself (named by its path), created when access is asked. Errors name the folder and the system's
// reason; files already there are never touched.
class VdirReminders final : public RemindersService {
  public:
    explicit VdirReminders(std::filesystem::path collection = defaultCollection());

    // "Reminders" in the program's data directory.
    static std::filesystem::path defaultCollection();

    Result<bool, ReminderError> requestAccess() override;
    std::optional<std::string> defaultList() override;
    Result<Done, ReminderError> save(const std::string& list, const NewReminder& reminder) override;

    // The whole file for one reminder (see ical::todo).
    static std::string render(const NewReminder& reminder, std::string_view uid, TimePoint stamp);

  private:
    std::filesystem::path collection_;
};

}  // namespace pivorel
