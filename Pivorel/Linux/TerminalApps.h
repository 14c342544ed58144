#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

// Terminal emulators, where a synthetic Control-C interrupts the running job instead of
// copying: the copy command must never be sent to them.
struct TerminalApps {
    TerminalApps() = delete;

    // By application identifier (desktop-file id) or WM_CLASS instance or class, ignoring
    // case.
    static bool isTerminal(std::string_view name);
    static bool isTerminal(const std::optional<std::string>& appID,
                           const std::optional<std::string>& instance,
                           const std::optional<std::string>& klass);
};

}  // namespace pivorel
