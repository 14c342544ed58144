#pragma once

#include <cstdint>
#include <optional>

namespace pivorel {

// The one translation between the program's key codes (US-layout virtual key codes: the
// hot key, Escape 53, Return 36) and X11 keysyms and modifier masks. Plain numbers, so the
// core needs no X11 headers.
struct KeyCodes {
    KeyCodes() = delete;

    // The keys the bar, the panel and the hot-key recorder act on.
    static constexpr std::uint16_t escape = 53;
    static constexpr std::uint16_t returnKey = 36;
    static constexpr std::uint16_t keypadEnter = 76;
    static constexpr std::uint16_t downArrow = 125;
    static constexpr std::uint16_t upArrow = 126;

    // X11 modifier bits.
    static constexpr std::uint32_t x11Shift = 1u << 0;    // ShiftMask
    static constexpr std::uint32_t x11Control = 1u << 2;  // ControlMask
    static constexpr std::uint32_t x11Mod1 = 1u << 3;     // Mod1Mask (Alt, our option)
    static constexpr std::uint32_t x11Mod4 = 1u << 6;     // Mod4Mask (Super, our command)

    // The keysym a key code produces without modifiers (letters in lower case); nothing for
    // a key code the table does not hold.
    static std::optional<std::uint32_t> keysymForKeyCode(std::uint32_t keyCode);

    // The key code of a keysym. Upper-case letters, the shifted symbols of the US layout
    // ("!" is the 1 key) and shift+Tab also name their key, so a keysym read with shift held
    // still finds it.
    static std::optional<std::uint32_t> keyCodeForKeysym(std::uint32_t keysym);

    // HotKeySpec modifier bits to X11 modifier bits and back; other bits are dropped.
    static std::uint32_t x11Modifiers(std::uint32_t modifiers);
    static std::uint32_t modifiersFromX11(std::uint32_t state);
};

}  // namespace pivorel
