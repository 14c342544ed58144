#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// What to pick up after the program restarted itself because a permission was granted:
// one small JSON file in the support directory, used at most once.
struct RelaunchContinuation {
    RelaunchContinuation() = delete;

    struct Pending {
        std::string kind;    // a PermissionKind raw value
        std::string action;  // what to resume ("barReady")
        std::map<std::string, std::string> payload;
        double savedAt = 0;  // Unix seconds

        // {"action", "kind", "payload", "savedAt"}.
        std::string encode() const;
        // Nothing unless the text is an object whose four members have their types and
        // whose kind is a known permission.
        static std::optional<Pending> decode(std::string_view json);
        bool operator==(const Pending&) const = default;
    };

    static constexpr std::string_view fileName = "pending_permission.json";
    // A real continuation is a few dozen bytes; anything this large is not one.
    static constexpr std::size_t maxFileBytes = 64 * 1024;
    // A continuation saved this far in the future is from another clock, not ours.
    static constexpr double futureTolerance = 5.0;

    // "pending_permission.json" in the support directory.
    static std::filesystem::path defaultPath();

    // Writes `pending` atomically, creating the directory; false (and a log line) on
    // failure.
    static bool save(const Pending& pending, const std::optional<std::filesystem::path>& to = {});

    // Reads and deletes the continuation. Nothing when there is none, it is not a regular
    // file of a sane size, it cannot be decoded, or it was saved more than `maxAge` seconds
    // before `now` (or more than five seconds after it); every such file is removed.
    static std::optional<Pending> takePending(double maxAge,
                                              const std::optional<std::filesystem::path>& from,
                                              TimePoint now);

    // Start-up's step: takes a continuation of at most 120 s and logs it.
    static std::optional<Pending> resumeAtStartup(
        TimePoint now, const std::optional<std::filesystem::path>& from = {});
};

}  // namespace pivorel
