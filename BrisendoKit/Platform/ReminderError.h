#pragma once

#include <string>

namespace pivorel {

// Why a reminder was not saved: access refused, no list to put it in, or the reminders
// service's own failure (its message passed on unchanged).
struct ReminderError {
    enum class Kind { denied, noList, service };

    Kind kind = Kind::service;
    std::string serviceMessage;  // only for `service`

    static ReminderError denied() { return {Kind::denied, {}}; }
    static ReminderError noList() { return {Kind::noList, {}}; }
    static ReminderError service(std::string message) {
        return {Kind::service, std::move(message)};
    }

    // The text shown to the user, in the interface language.
    std::string description() const;

    friend bool operator==(const ReminderError&, const ReminderError&) = default;
};

}  // namespace pivorel
