#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace pivorel {

// What the X server says about this process's top-level windows and about the active
// window, rather than what Qt believes: the self tests check the window system itself.
// Main thread; needs a QGuiApplication on the xcb platform (elsewhere every answer is empty).
struct WindowServer {
    WindowServer() = delete;

    // The level a window has when it is kept above ordinary windows.
    static constexpr int popUpLevel = 101;

    struct Window {
        std::uint32_t id = 0;
        // Mapped and viewable.
        bool onScreen = false;
        // Kept above others: placed by the program itself (override-redirect) or asked of the
        // window manager (_NET_WM_STATE_ABOVE).
        bool keptAbove = false;
        // In X11 terms: top-left origin, y down.
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;

        int level() const { return keptAbove ? popUpLevel : 0; }
    };

    // Whether an X display answers at $DISPLAY (checked before Qt is started on it, which
    // would abort the process).
    static bool displayReachable();

    // This process's top-level windows that have a native window, in Qt's order.
    static std::vector<Window> ownWindows();
    // The ones on screen.
    static std::vector<Window> ownWindowsOnScreen();
    // _NET_ACTIVE_WINDOW of the root window; nothing when no window is active.
    static std::optional<std::uint32_t> activeWindow();
    // Whether the active window is one of this process's.
    static bool isActive();
    // Waits, keeping the event loop running, until the server has processed every request
    // sent so far.
    static void sync();
};

}  // namespace pivorel
