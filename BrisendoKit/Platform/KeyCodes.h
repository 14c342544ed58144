#pragma once

#include <cstdint>
#include <optional>

namespace pivorel {

// The one translation between the program's key codes (US-layout virtual key codes: the
// hot key, Escape 53, Return 36) and X11 keysyms. Plain numbers, so the
// core needs no X11 headers.
struct KeyCodes {
    KeyCodes() = delete;

    // The keys the bar, the panel and the hot-key recorder act on.
    static constexpr std::uint16_t escape = 53;
    static constexpr std::uint16_t returnKey = 36;
    static constexpr std::uint16_t keypadEnter = 76;
    static constexpr std::uint16_t downArrow = 125;
    static constexpr std::uint16_t upArrow = 126;

    // The keysym a key code produces without modifiers (letters in lower case); nothing for
    // a key code the table does not hold.
    static std::optional<std::uint32_t> keysymForKeyCode(std::uint32_t keyCode);

    // The key code of a keysym. Upper-case letters, the shifted symbols of the US layout
    // ("!" is the 1 key) and shift+Tab also name their key, so a keysym read with shift held
    // still finds it.
    static std::optional<std::uint32_t> keyCodeForKeysym(std::uint32_t keysym);
};

}  // namespace pivorel
