#pragma once

#include <filesystem>
#include <memory>

#include "BrisendoKit/Platform/CalendarService.h"
#include "BrisendoKit/Platform/RemindersService.h"

namespace pivorel {

// The calendar and reminders of this desktop, chosen afresh for each addition on a worker
// thread: Evolution Data Server's default calendar and task list when its source registry
// answers on the session bus (GNOME Calendar, To Do and Evolution show them, and
// evolution-alarm-notify fires the alarms); otherwise an event file handed to the desktop's
// calendar program, and the reminders folder.
struct DesktopCalendars {
    DesktopCalendars() = delete;

    struct Options {
        // Off: never ask Evolution Data Server.
        bool evolution = true;
        // Where event files for the calendar program are kept.
        std::filesystem::path eventFolder = defaultEventFolder();
        // How long the registry may take to answer (the first call starts the service).
        double timeoutSeconds = 8;
    };

    // "$XDG_CACHE_HOME/Pivorel/events".
    static std::filesystem::path defaultEventFolder();

    static std::unique_ptr<CalendarService> calendar(const Options& options);
    static std::unique_ptr<RemindersService> reminders(const std::filesystem::path& folder,
                                                       const Options& options);
};

}  // namespace pivorel
