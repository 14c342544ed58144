#pragma once

#include <memory>
#include <string>

#include "BrisendoKit/Support/Result.h"
#include "Pivorel/Linux/LinuxDesktop.h"

namespace pivorel {

class MainQueue;

// The desktop on GNOME's Wayland session: input, the focused application and the hot key
// from the Shell extension (ShellInputMonitor); selections, the clipboard, windows and
// AT-SPI through Xwayland as on X11, with what Xwayland cannot know left out: a point on
// the screen may show a Wayland window, and a keystroke sent through X11 reaches only X11
// windows. Needs the extension running and a QGuiApplication on the xcb platform.
struct GnomeWaylandDesktop {
    GnomeWaylandDesktop() = delete;
    static Result<std::unique_ptr<LinuxDesktop>, std::string> connect(MainQueue& queue);
};

}  // namespace pivorel
