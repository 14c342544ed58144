#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class X11Connection;
class X11Keyboard;

// The global hot key: a passive grab of one key with its modifiers on the root window, in
// each combination with CapsLock and NumLock so that neither stops it. Main thread.
class X11HotKey {
  public:
    X11HotKey(X11Connection& x, X11Keyboard& keyboard);
    ~X11HotKey();
    X11HotKey(const X11HotKey&) = delete;
    X11HotKey& operator=(const X11HotKey&) = delete;

    // A program key code and HotKeySpec modifiers. False, with one log line, when another
    // program holds the combination or the key has no place on the keyboard; any earlier
    // registration is gone either way.
    bool registerKey(std::uint32_t keyCode, std::uint32_t modifiers,
                     std::function<void()> onPressed);
    void unregisterKey();

    // HotKeySpec modifier bits as an X11 modifier mask; other bits are dropped.
    static std::uint16_t x11Modifiers(std::uint32_t modifiers);

    // The grabbed key code and X11 modifier mask.
    std::optional<std::pair<xcb_keycode_t, std::uint16_t>> grabbed() const { return grabbed_; }

  private:
    bool grab();
    void ungrab();
    void handle(const xcb_generic_event_t& event);
    std::vector<std::uint16_t> variants() const;

    X11Connection& x_;
    X11Keyboard& keyboard_;
    Connection events_;
    std::uint32_t keyCode_ = 0;
    std::uint32_t modifiers_ = 0;
    std::function<void()> onPressed_;
    std::optional<std::pair<xcb_keycode_t, std::uint16_t>> grabbed_;
};

}  // namespace pivorel
