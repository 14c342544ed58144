#include "Pivorel/Linux/TerminalApps.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace pivorel {

namespace {

// Lower-case desktop-file ids and WM_CLASS names of terminal emulators.
constexpr std::array<std::string_view, 47> terminals{
    "xterm",
    "uxterm",
    "debian-xterm",
    "debian-uxterm",
    "org.gnome.terminal",
    "gnome-terminal",
    "gnome-terminal-server",
    "org.gnome.console",
    "kgx",
    "org.kde.konsole",
    "konsole",
    "xfce4-terminal",
    "com.gexperts.tilix",
    "tilix",
    "terminator",
    "kitty",
    "alacritty",
    "org.wezfurlong.wezterm",
    "wezterm",
    "wezterm-gui",
    "com.mitchellh.ghostty",
    "ghostty",
    "dev.warp.warp",
    "warp",
    "lxterminal",
    "mate-terminal",
    "qterminal",
    "terminology",
    "sakura",
    "guake",
    "tilda",
    "org.kde.yakuake",
    "yakuake",
    "foot",
    "footclient",
    "urxvt",
    "rxvt",
    "rxvt-unicode",
    "st",
    "st-256color",
    "eterm",
    "deepin-terminal",
    "cool-retro-term",
    "contour",
    "com.raggesilver.blackbox",
    "io.elementary.terminal",
    "org.codeberg.dnkl.foot",
};

}  // namespace

bool TerminalApps::isTerminal(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(terminals.begin(), terminals.end(), folded) != terminals.end();
}

bool TerminalApps::isTerminal(const std::optional<std::string>& appID,
                              const std::optional<std::string>& instance,
                              const std::optional<std::string>& klass) {
    for (const auto* name : {&appID, &instance, &klass}) {
        if (*name && isTerminal(**name)) return true;
    }
    return false;
}

}  // namespace pivorel
