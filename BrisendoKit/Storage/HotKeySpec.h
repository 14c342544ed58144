#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace pivorel {

// The global hot key: a key code in the program's own key-code space (US-layout virtual
// key codes, N = 45) and a mask of the classic modifier bits below.
struct HotKeySpec {
    static constexpr std::uint32_t cmd = 0x100;
    static constexpr std::uint32_t shift = 0x200;
    static constexpr std::uint32_t option = 0x800;
    static constexpr std::uint32_t control = 0x1000;

    std::uint32_t keyCode = 45;
    std::uint32_t modifiers = control | option;

    bool operator==(const HotKeySpec&) const = default;

    // Control+Option+N.
    static HotKeySpec defaultSpec() { return {}; }

    // At least one of command, option or control: shift alone would steal ordinary typing.
    bool isValid() const { return (modifiers & (cmd | option | control)) != 0; }

    // As Linux desktops show shortcuts: "Ctrl+", "Alt+", "Shift+", "Super+" in that order
    // for the modifiers present, then the key's name, e.g. "Ctrl+Alt+N".
    // Localized parts (the space bar, unnamed keys) follow the interface language.
    std::string display() const;

    // The key names, built once. The space bar's entry is its untranslated name ("空格");
    // display() translates it.
    static const std::map<std::uint32_t, std::string>& keyNames();
};

}  // namespace pivorel
