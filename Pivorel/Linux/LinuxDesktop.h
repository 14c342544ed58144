#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "BrisendoKit/Platform/Accessibility.h"
#include "BrisendoKit/Platform/InputMonitor.h"
#include "BrisendoKit/Platform/PasteboardLike.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

class MainQueue;

// The X11 desktop behind the core's ports: global input (XInput2 raw events), application
// identity, the PRIMARY selection and AT-SPI, the CLIPBOARD, the global hot key. Lives on
// the Qt main thread and reads the X connection from its event loop; needs a
// QGuiApplication on the xcb platform.
class LinuxDesktop {
  public:
    // Connects to the X display; an error text when there is none, it is not X11, or it
    // lacks XInput 2.2.
    static Result<std::unique_ptr<LinuxDesktop>, std::string> connect(MainQueue& queue);

    virtual ~LinuxDesktop() = default;

    virtual InputMonitor& input() = 0;
    virtual Accessibility& accessibility() = 0;
    virtual PasteboardLike& pasteboard() = 0;
    virtual Workspace& workspace() = 0;

    // Grabs the global hot key: a program key code and HotKeySpec modifiers. False (and one
    // log line) when another program holds it. Replaces an earlier registration.
    virtual bool registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                std::function<void()> onPressed) = 0;
    virtual void unregisterHotKey() = 0;
};

}  // namespace pivorel
