#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BrisendoKit/Platform/InputMonitor.h"
#include "BrisendoKit/Support/Result.h"
#include "Pivorel/Linux/ClickCounter.h"
#include "Pivorel/Linux/ScreenCoordinates.h"

class QObject;

namespace pivorel {

class X11Connection;
class X11Keyboard;

// Global input from XInput 2 raw events on the root window: they arrive whatever window has
// the pointer and even while another program grabs it, but carry no position, so the
// pointer is asked for at each press and release. Raw motion is only asked for while the
// left button is down or a move monitor is installed, so an idle desktop costs nothing.
// Application switches come from _NET_ACTIVE_WINDOW. Main thread, except where noted.
class X11InputMonitor final : public InputMonitor {
  public:
    // What the monitor needs to know about the program around it.
    struct Environment {
        // Whether a top-level child of the root window (the one under the pointer) shows
        // one of the program's own windows.
        std::function<bool(xcb_window_t child)> isOwnWindow;
        // Whether one of the program's own windows has the keyboard focus.
        std::function<bool()> ownWindowFocused;
        std::function<std::optional<std::string>()> frontmostApp;
        std::function<ScreenCoordinates()> coordinates;
        // The desktop's double-click time in milliseconds.
        std::function<std::uint32_t()> doubleClickInterval;
    };

    // Needs XInput 2.1 or later (2.2 is asked for); an error text otherwise.
    static Result<std::unique_ptr<X11InputMonitor>, std::string> create(X11Connection& x,
                                                                        X11Keyboard& keyboard,
                                                                        Environment environment);
    ~X11InputMonitor() override;

    Connection monitorGestures(GestureHandler handler) override;
    Connection monitorMouseMoves(MoveHandler handler) override;
    Connection monitorMouseDowns(PressHandler handler) override;
    Connection observeActivations(ActivationHandler handler) override;

    // The server time of the last left press outside the program's windows. Any thread.
    std::optional<std::uint32_t> lastLeftPressTime() const;

    // Presses of the hot key (key code and modifier state) are not typing.
    void setHotKey(std::optional<std::pair<xcb_keycode_t, std::uint16_t>> key);
    // Keys the program is about to send itself are not typing either. Any thread.
    void expectSyntheticKeys(const std::vector<xcb_keycode_t>& codes);

  private:
    struct Pointer {
        Point location;
        std::uint16_t mask = 0;
        xcb_window_t child = XCB_WINDOW_NONE;
    };

    X11InputMonitor(X11Connection& x, X11Keyboard& keyboard, Environment environment,
                    std::uint8_t xiOpcode);

    void handle(const xcb_generic_event_t& event);
    void rawButton(bool press, std::uint32_t detail, std::uint32_t time);
    void rawKey(std::uint32_t detail);
    void motion();
    void flushMotion();
    void activeWindowChanged();
    void selectEvents();
    void loadButtonMapping();
    std::optional<Pointer> queryPointer();
    bool syntheticKey(xcb_keycode_t code);
    Connection withSelection(Connection inner);

    X11Connection& x_;
    X11Keyboard& keyboard_;
    Environment environment_;
    std::uint8_t xiOpcode_;
    Connection events_;
    std::unique_ptr<QObject> context_;
    std::shared_ptr<bool> alive_;

    Signal<const GestureEvent&> gestures_;
    Signal<Point> moves_;
    Signal<> downs_;
    Signal<const std::optional<std::string>&> activations_;

    ClickCounter clicks_;
    std::vector<std::uint8_t> buttonMap_;
    bool leftDown_ = false;
    bool pressOnOwnWindow_ = false;
    bool motionSelected_ = false;
    bool motionPending_ = false;
    Point lastLocation_;
    std::optional<std::string> lastActiveApp_;
    std::optional<std::pair<xcb_keycode_t, std::uint16_t>> hotKey_;
    std::uint16_t heldModifiers_ = 0;
    std::atomic<std::uint64_t> lastLeftPress_{0};  // time + 1 in the low 33 bits; 0: none

    std::mutex syntheticMutex_;
    std::vector<std::pair<xcb_keycode_t, std::chrono::steady_clock::time_point>> synthetic_;
};

}  // namespace pivorel
