#pragma once

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

struct _XCBKeySymbols;

namespace pivorel {

class X11Connection;

// The server's keyboard mapping: keysyms of key codes and back, and the modifier bit that
// NumLock sits on. Refreshed when a MappingNotify arrives. Any thread.
class X11Keyboard {
  public:
    explicit X11Keyboard(X11Connection& connection);
    ~X11Keyboard();
    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    // The keysym a key produces without modifiers; 0 for an unmapped key.
    std::uint32_t keysym(xcb_keycode_t code);
    // The first key code producing `keysym` (in any column).
    std::optional<xcb_keycode_t> keycode(std::uint32_t keysym);
    // The modifier mask of NumLock; 0 when no modifier carries it.
    std::uint16_t numLockMask();
    // The modifier bit a key sets while held (Shift, Control, Mod1, ...); 0 for other keys.
    std::uint16_t modifierMask(xcb_keycode_t code);
    // Shift, Control, Alt, Super and the like: keys that only modify others.
    static bool isModifierKeysym(std::uint32_t keysym);

    void refresh(const xcb_mapping_notify_event_t& event);

  private:
    void loadModifiers();

    X11Connection& connection_;
    std::mutex mutex_;
    _XCBKeySymbols* symbols_;
    std::uint16_t numLockMask_ = 0;
    std::array<std::uint16_t, 256> modifierOf_{};
};

}  // namespace pivorel
