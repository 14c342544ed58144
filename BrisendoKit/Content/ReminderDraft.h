#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <unicode/calendar.h>

#include "BrisendoKit/Platform/DateComponents.h"
#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// What a selection becomes in the reminders list.
struct ReminderDraft {
    std::string title;                 // one line, at most titleLimit characters
    std::optional<std::string> notes;  // the full text when the title cuts it, and the source
    std::optional<DateComponents> due;

    static constexpr std::size_t titleLimit = 200;

    friend bool operator==(const ReminderDraft&, const ReminderDraft&) = default;
};

// Makes the draft for a selection. Pure.
struct ReminderDraftBuilder {
    ReminderDraftBuilder() = delete;

    // `app` is the source application's display name, `url` the page the text came from.
    static ReminderDraft make(std::string_view text, std::optional<std::string_view> app,
                              std::optional<std::string_view> url, TimePoint now,
                              const icu::Calendar& calendar);
};

}  // namespace pivorel
