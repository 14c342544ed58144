#pragma once

#include <optional>
#include <string>

namespace pivorel {

class DesktopAppIndex;

// Terminal emulators, where a synthetic Control-C interrupts the running job instead of
// copying: the copy command must never be sent to them. They are the installed desktop
// files of the TerminalEmulator category, and the few terminals known by WM_CLASS alone.
struct TerminalApps {
    TerminalApps() = delete;

    // By application identifier (desktop-file id), or by WM_CLASS instance or class
    // (ignoring case).
    static bool isTerminal(DesktopAppIndex& apps, const std::optional<std::string>& appID,
                           const std::optional<std::string>& instance = std::nullopt,
                           const std::optional<std::string>& klass = std::nullopt);
};

}  // namespace pivorel
