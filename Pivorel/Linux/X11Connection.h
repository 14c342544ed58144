#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Support/Result.h"
#include "BrisendoKit/Support/Signal.h"

class QObject;
class QSocketNotifier;

namespace pivorel {

// Our own connection to the X server (not Qt's: our event selections on the root window
// must not replace Qt's). Its events are read in the Qt event loop through a socket
// notifier and handed out on the main thread; requests and replies may come from any
// thread, as xcb allows.
class X11Connection {
  public:
    struct Property {
        xcb_atom_t type = XCB_ATOM_NONE;
        std::uint8_t format = 0;
        std::string bytes;
    };

    // Connects to `display` (empty: $DISPLAY).
    static Result<std::unique_ptr<X11Connection>, std::string> open(
        const std::string& display = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* raw() const { return connection_; }
    xcb_window_t root() const { return root_; }
    const xcb_screen_t& screen() const { return *screen_; }

    // The atom of a name, interned once per process run; XCB_ATOM_NONE when the server
    // fails. Any thread.
    xcb_atom_t atom(std::string_view name);
    std::string atomName(xcb_atom_t atom);

    // Every event, on the main thread, once reading has started.
    [[nodiscard]] Connection subscribe(std::function<void(const xcb_generic_event_t&)> handler);
    // Starts reading events from the Qt event loop of the calling (main) thread.
    void startReading();
    // Hands out every event xcb holds already. Main thread.
    void dispatchPending();
    void flush();

    // A property of a window, at most `maxBytes` of it; nothing when absent. Any thread.
    std::optional<Property> property(xcb_window_t window, xcb_atom_t name,
                                     xcb_atom_t type = XCB_ATOM_ANY,
                                     std::uint32_t maxBytes = 1u << 16);
    std::optional<std::string> text(xcb_window_t window, std::string_view name);
    std::vector<std::uint32_t> cardinals(xcb_window_t window, std::string_view name,
                                         xcb_atom_t type);
    std::optional<std::uint32_t> cardinal(xcb_window_t window, std::string_view name,
                                          xcb_atom_t type = XCB_ATOM_CARDINAL);
    // WM_CLASS: instance and class.
    std::optional<std::pair<std::string, std::string>> windowClass(xcb_window_t window);

    // The top-level windows under `window` (the window itself and its children, two levels
    // down: a window manager's frame holds the client window), nearest first. Any thread.
    std::vector<xcb_window_t> windowAndDescendants(xcb_window_t window, int depth = 2);
    // The first of `windows` that has the property `name`. Any thread.
    std::optional<xcb_window_t> firstWithProperty(const std::vector<xcb_window_t>& windows,
                                                  xcb_atom_t name);

    // A reply was read off the main thread: events it queued must still reach the handlers.
    void afterReply();

  private:
    X11Connection(xcb_connection_t* connection, xcb_screen_t* screen);

    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
    xcb_window_t root_;
    std::mutex atomsMutex_;
    std::map<std::string, xcb_atom_t, std::less<>> atoms_;
    std::map<xcb_atom_t, std::string> names_;
    Signal<const xcb_generic_event_t&> events_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QObject> context_;
};

// Frees an xcb reply when it goes.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using XReply = std::unique_ptr<T, FreeDeleter>;

}  // namespace pivorel
