#pragma once

#include <string>

namespace pivorel {

// Whether the X display named `display` (empty: $DISPLAY) can be reached and offers
// XInput 2.2, which global input needs. On X11 this is what "trusted for accessibility"
// comes down to. Opens and closes its own connection; any thread.
bool x11InputReachable(const std::string& display = {});

}  // namespace pivorel
