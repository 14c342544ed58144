#include "Pivorel/Linux/TerminalApps.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "Pivorel/Linux/DesktopAppIndex.h"

namespace pivorel {

namespace {

// Lower-case WM_CLASS names of terminals whose windows no desktop file names: none is
// installed, or it carries neither their class as StartupWMClass nor as its id.
constexpr std::array<std::string_view, 6> classOnlyTerminals{
    "xterm", "uxterm", "urxvt", "rxvt", "st", "st-256color",
};

bool isClassOnlyTerminal(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(classOnlyTerminals.begin(), classOnlyTerminals.end(), name) !=
           classOnlyTerminals.end();
}

}  // namespace

bool TerminalApps::isTerminal(DesktopAppIndex& apps, const std::optional<std::string>& appID,
                              const std::optional<std::string>& instance,
                              const std::optional<std::string>& klass) {
    if (appID && apps.isTerminal(*appID)) return true;
    for (const auto* name : {&appID, &instance, &klass}) {
        if (*name && isClassOnlyTerminal(**name)) return true;
    }
    return false;
}

}  // namespace pivorel
