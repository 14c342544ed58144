#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// `pivorel --explain --text TEXT [--app ID] [--editable] [--now TIME] [--config PATH]
// [--db PATH | --no-history]`: prints, as one JSON object, how the bar would rank the
// actions for TEXT, which actions this desktop lacks a program for (the bar skips them),
// and why it shows what it shows. Reads the user's actions.json and
// history database (read-only, never created) unless told otherwise. Returns the exit
// status: 0, or 2 with the usage on stderr for bad arguments.
int runExplain(const std::vector<std::string>& args);

// An ISO 8601 date and time with a UTC offset, in the extended format:
// "2024-05-01T09:30+08:00", "2024-05-01T09:30:15.250-05:30", "2024-05-01T01:30:00Z"
// (offsets also as "+0800" or "+08"). Nothing for anything else, including an impossible
// date or time and a time without an offset.
std::optional<TimePoint> parseTimestampWithOffset(std::string_view text);

}  // namespace pivorel
