#include "Pivorel/Linux/VdirReminders.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/ICalendarText.h"

namespace pivorel {

namespace {

namespace fs = std::filesystem;

// The folder could not take a file: a refused permission is `denied`, anything else
// carries the system's reason.
ReminderError folderError(const fs::path& folder, int error) {
    Log::write("Pivorel: 提醒事项目录不可写 " + folder.string() + " " + std::strerror(error));
    if (error == EACCES || error == EPERM) return ReminderError::denied(folder.string());
    return ReminderError::folder(folder.string(), std::strerror(error));
}

}  // namespace

VdirReminders::VdirReminders(fs::path collection) : collection_(std::move(collection)) {}

fs::path VdirReminders::defaultCollection() {
    return AppIdentity::supportDirectory() / "Reminders";
}

Result<bool, ReminderError> VdirReminders::requestAccess() {
    if (!fileio::makePrivateDirectory(collection_)) {
        // Asked again for the reason: a file in the way, a missing permission.
        std::error_code ec;
        fs::create_directories(collection_, ec);
        return fail(folderError(collection_, ec ? ec.value() : ENOTDIR));
    }
    // Permission bits do not tell (root, read-only mounts, ACLs): try to create a file.
    std::string probe = (collection_ / ".pivorel-probe-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return fail(folderError(collection_, errno));
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::optional<std::string> VdirReminders::defaultList() {
    return collection_.string();
}

Result<Done, ReminderError> VdirReminders::save(const std::string& list,
                                                const NewReminder& reminder) {
    const std::string uid = ical::newUid();
    const fs::path file = fs::path(list) / (uid + ".ics");
    errno = 0;
    if (!fileio::writeFileAtomically(file,
                                     render(reminder, uid, std::chrono::system_clock::now()))) {
        return fail(folderError(list, errno ? errno : EIO));
    }
    return Done{};
}

std::string VdirReminders::render(const NewReminder& reminder, std::string_view uid,
                                  TimePoint stamp) {
    return ical::todo(reminder, uid, stamp);
}

}  // namespace pivorel
