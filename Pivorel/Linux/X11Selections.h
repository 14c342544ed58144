#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Support/Result.h"

class QObject;
class QSocketNotifier;

namespace pivorel {

class X11Connection;

// Reads and owns X selections (PRIMARY, CLIPBOARD) over a connection of its own, and
// follows who owns them through XFixes. Reads block for a bounded time and may come from
// any thread: whoever holds the connection reads its events, including requests for a
// selection we own; between reads the Qt event loop does.
class X11Selections {
  public:
    // Bytes of one target as its owner gave them.
    struct Data {
        xcb_atom_t type = XCB_ATOM_NONE;
        std::uint8_t format = 8;
        std::string bytes;
        // Reading stopped early (the caller had enough, or the cap was reached).
        bool truncated = false;
        bool operator==(const Data&) const = default;
    };

    // Owner changes of one selection seen since we started watching.
    struct Changes {
        std::int64_t count = 0;
        // Server time of the last change not made while the program was typing itself.
        std::optional<std::uint32_t> lastOutsideQuiet;
    };

    // Says, given the bytes read so far, that the caller has enough of them.
    using Enough = std::function<bool(std::string_view bytesSoFar)>;

    static Result<std::unique_ptr<X11Selections>, std::string> open(
        X11Connection& atoms, const std::string& display = {});
    ~X11Selections();
    X11Selections(const X11Selections&) = delete;
    X11Selections& operator=(const X11Selections&) = delete;

    // Starts reading events in the Qt event loop of the calling (main) thread.
    void startReading();

    xcb_atom_t atom(std::string_view name);
    std::string atomName(xcb_atom_t atom);

    // The selection's owner window now; XCB_WINDOW_NONE when it has none.
    xcb_window_t owner(xcb_atom_t selection);
    // After catching up with every change the server has made so far.
    Changes changes(xcb_atom_t selection);

    // Asks the owner of `selection` for `target`, into a property used for no recent
    // request, and waits at most `limit` in all. Nothing when there is no owner, it refuses,
    // or time runs out. Stops after `maxBytes` bytes, or once `enough` says so.
    std::optional<Data> convert(xcb_atom_t selection, xcb_atom_t target,
                                std::chrono::milliseconds limit, std::size_t maxBytes,
                                const Enough& enough = {});

    // Takes `selection` and answers requests for `offers` (by target) until another client
    // takes it. False when the server did not give it to us.
    bool own(xcb_atom_t selection, std::map<xcb_atom_t, Data> offers);
    // What we offer while we own `selection`.
    std::optional<std::map<xcb_atom_t, Data>> owned(xcb_atom_t selection);
    // Leaves `selection` without an owner.
    void clear(xcb_atom_t selection);

    // Changes made between beginQuiet and a moment after endQuiet are the program's own
    // doing (its synthetic keystrokes) and are left out of lastOutsideQuiet.
    void beginQuiet();
    void endQuiet();

  private:
    struct Wait;
    struct SelectionState {
        Changes changes;
        std::optional<std::map<xcb_atom_t, Data>> offers;
        std::uint32_t ownedSince = 0;
    };
    class Session;

    X11Selections(X11Connection& atoms, xcb_connection_t* connection, xcb_window_t window,
                  std::uint8_t xfixesEvent);

    // With the lock held:
    void handle(const xcb_generic_event_t& event, Wait* wait);
    void pumpQueued(Wait* wait);
    bool waitFor(Wait& wait, std::chrono::steady_clock::time_point deadline);
    void sync();
    std::optional<std::uint32_t> serverTimeLocked();
    void serve(const xcb_selection_request_event_t& request);
    // What we answer for `target` while we own a selection: the saved data, or the list
    // of targets and the time we took it.
    std::optional<Data> offered(const SelectionState& state, xcb_atom_t target);
    void watch(xcb_atom_t selection);
    std::optional<Data> readProperty(xcb_atom_t property, std::size_t maxBytes,
                                     const Enough& enough,
                                     std::chrono::steady_clock::time_point deadline, Wait& wait);

    void onReadable();
    void releaseAndReenable();

    X11Connection& atoms_;
    xcb_connection_t* connection_;
    xcb_window_t window_;
    std::uint8_t xfixesEvent_;
    std::mutex mutex_;
    std::map<xcb_atom_t, SelectionState> selections_;
    std::uint32_t nextProperty_ = 0;
    std::optional<std::uint32_t> quietFrom_;
    std::optional<std::uint32_t> quietUntil_;
    bool quiet_ = false;
    std::uint32_t lastEventTime_ = 0;
    std::unique_ptr<QObject> context_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::atomic<bool> reenable_{false};
};

}  // namespace pivorel
