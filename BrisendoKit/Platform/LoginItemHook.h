#pragma once

namespace pivorel {

// Whether the program starts with the user's session. The desktop implementation keeps an
// XDG autostart entry; tests use a field.
class LoginItemHook {
  public:
    virtual ~LoginItemHook() = default;

    virtual bool isEnabled() = 0;
    // Turns starting at login on or off; true when the desktop accepted the change.
    virtual bool set(bool enabled) = 0;
};

}  // namespace pivorel
