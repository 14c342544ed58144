#pragma once

#include <string>

namespace pivorel {

// Why a reminder was not saved: the list or folder may not be written, there is no list to
// put it in, a list or folder refused the write (with the system's reason), or the
// reminders service's own failure (its message passed on unchanged).
struct ReminderError {
    enum class Kind { denied, noList, folder, list, service };

    Kind kind = Kind::service;
    std::string place;   // the folder or list, for `denied`, `folder` and `list`
    std::string reason;  // the system's message, for `folder`, `list` and `service`

    static ReminderError denied(std::string place = {}) {
        return {Kind::denied, std::move(place), {}};
    }
    static ReminderError noList() { return {Kind::noList, {}, {}}; }
    static ReminderError folder(std::string path, std::string reason) {
        return {Kind::folder, std::move(path), std::move(reason)};
    }
    static ReminderError list(std::string name, std::string reason) {
        return {Kind::list, std::move(name), std::move(reason)};
    }
    static ReminderError service(std::string message) {
        return {Kind::service, {}, std::move(message)};
    }

    // The text shown to the user, in the interface language.
    std::string description() const;

    friend bool operator==(const ReminderError&, const ReminderError&) = default;
};

}  // namespace pivorel
