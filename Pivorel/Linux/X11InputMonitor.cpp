#include "Pivorel/Linux/X11InputMonitor.h"

#include <xcb/xinput.h>

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "BrisendoKit/Platform/KeyCodes.h"
#include "Pivorel/Linux/X11Connection.h"
#include "Pivorel/Linux/X11Keyboard.h"

namespace pivorel {

namespace {

constexpr std::uint32_t leftButton = 1;
constexpr std::uint32_t rightButton = 3;
constexpr std::uint32_t firstScrollButton = 4;
constexpr std::uint32_t lastScrollButton = 7;
// A key the key-code table does not know: still typing, never Escape.
constexpr std::uint16_t unknownKeyCode = 0xffff;
// Our own keystrokes come back as raw events shortly after they are sent.
constexpr auto syntheticKeyLifetime = std::chrono::seconds(1);
constexpr auto moveInterval = std::chrono::milliseconds(16);

struct XIEventMask {
    xcb_input_event_mask_t header;
    std::uint32_t bits;
};

}  // namespace

Result<std::unique_ptr<X11InputMonitor>, std::string> X11InputMonitor::create(
    X11Connection& x, X11Keyboard& keyboard, Environment environment) {
    xcb_connection_t* c = x.raw();
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present) return fail(std::string("the X server lacks XInput 2"));
    // The version we ask for decides what the server sends: before 2.1 raw releases are lost
    // while another program holds the pointer.
    XReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2 ||
        (version->major_version == 2 && version->minor_version < 1)) {
        return fail(std::string("the X server lacks XInput 2.2"));
    }
    return std::unique_ptr<X11InputMonitor>(
        new X11InputMonitor(x, keyboard, std::move(environment), ext->major_opcode));
}

X11InputMonitor::X11InputMonitor(X11Connection& x, X11Keyboard& keyboard, Environment environment,
                                 std::uint8_t xiOpcode)
    : x_(x),
      keyboard_(keyboard),
      environment_(std::move(environment)),
      xiOpcode_(xiOpcode),
      context_(std::make_unique<QObject>()),
      alive_(std::make_shared<bool>(true)) {
    loadButtonMapping();
    const std::uint32_t rootMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x_.raw(), x_.root(), XCB_CW_EVENT_MASK, &rootMask);
    selectEvents();
    if (auto active = environment_.frontmostApp) lastActiveApp_ = active();
    events_ = x_.subscribe([this](const xcb_generic_event_t& event) { handle(event); });
}

X11InputMonitor::~X11InputMonitor() {
    events_.reset();
    XIEventMask mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, 0};
    xcb_input_xi_select_events(x_.raw(), x_.root(), 1, &mask.header);
    x_.flush();
}

void X11InputMonitor::selectEvents() {
    const bool wantMotion = leftDown_ || moves_.size() > 0;
    std::uint32_t bits =
        XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE |
        XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
    if (wantMotion) bits |= XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    XIEventMask mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, bits};
    xcb_input_xi_select_events(x_.raw(), x_.root(), 1, &mask.header);
    x_.flush();
    motionSelected_ = wantMotion;
}

void X11InputMonitor::loadButtonMapping() {
    xcb_connection_t* c = x_.raw();
    XReply<xcb_get_pointer_mapping_reply_t> reply(
        xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr));
    buttonMap_.clear();
    if (!reply) return;
    const std::uint8_t* map = xcb_get_pointer_mapping_map(reply.get());
    buttonMap_.assign(map, map + xcb_get_pointer_mapping_map_length(reply.get()));
}

Connection X11InputMonitor::withSelection(Connection inner) {
    // Installing or removing a monitor may change which raw events we need.
    selectEvents();
    auto held = std::make_shared<Connection>(std::move(inner));
    return Connection([this, held, alive = std::weak_ptr<bool>(alive_)] {
        held->reset();
        if (alive.lock()) selectEvents();
    });
}

Connection X11InputMonitor::monitorGestures(GestureHandler handler) {
    return gestures_.connect(std::move(handler));
}

Connection X11InputMonitor::monitorMouseMoves(MoveHandler handler) {
    return withSelection(moves_.connect(std::move(handler)));
}

Connection X11InputMonitor::monitorMouseDowns(PressHandler handler) {
    return downs_.connect(std::move(handler));
}

Connection X11InputMonitor::observeActivations(ActivationHandler handler) {
    return activations_.connect(std::move(handler));
}

std::optional<std::uint32_t> X11InputMonitor::lastLeftPressTime() const {
    const std::uint64_t stored = lastLeftPress_.load();
    if (stored == 0) return std::nullopt;
    return static_cast<std::uint32_t>(stored - 1);
}

void X11InputMonitor::setHotKey(std::optional<std::pair<xcb_keycode_t, std::uint16_t>> key) {
    hotKey_ = key;
}

void X11InputMonitor::expectSyntheticKeys(const std::vector<xcb_keycode_t>& codes) {
    std::lock_guard lock(syntheticMutex_);
    const auto until = std::chrono::steady_clock::now() + syntheticKeyLifetime;
    for (auto code : codes) synthetic_.emplace_back(code, until);
}

bool X11InputMonitor::syntheticKey(xcb_keycode_t code) {
    std::lock_guard lock(syntheticMutex_);
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(synthetic_, [&](const auto& entry) { return entry.second < now; });
    auto it = std::find_if(synthetic_.begin(), synthetic_.end(),
                           [&](const auto& entry) { return entry.first == code; });
    if (it == synthetic_.end()) return false;
    synthetic_.erase(it);
    return true;
}

std::optional<X11InputMonitor::Pointer> X11InputMonitor::queryPointer() {
    xcb_connection_t* c = x_.raw();
    XReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, x_.root()), nullptr));
    if (!reply) return std::nullopt;
    Pointer p;
    p.location = environment_.coordinates().fromDevice(
        Point{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)});
    p.mask = reply->mask;
    p.child = reply->child;
    lastLocation_ = p.location;
    return p;
}

void X11InputMonitor::handle(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (type == XCB_GE_GENERIC) {
        const auto& ge = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (ge.extension != xiOpcode_) return;
        const auto& raw = reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
        switch (ge.event_type) {
            case XCB_INPUT_RAW_BUTTON_PRESS:
                rawButton(true, raw.detail, raw.time);
                break;
            case XCB_INPUT_RAW_BUTTON_RELEASE:
                rawButton(false, raw.detail, raw.time);
                break;
            case XCB_INPUT_RAW_KEY_PRESS:
                flushMotion();
                rawKey(raw.detail);
                break;
            case XCB_INPUT_RAW_KEY_RELEASE:
                heldModifiers_ &= static_cast<std::uint16_t>(
                    ~keyboard_.modifierMask(static_cast<xcb_keycode_t>(raw.detail)));
                break;
            case XCB_INPUT_RAW_MOTION:
                motion();
                break;
            default:
                break;
        }
        return;
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (notify.window == x_.root() && notify.atom == x_.atom("_NET_ACTIVE_WINDOW")) {
            activeWindowChanged();
        }
        return;
    }
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        // Key events reach us only through the hot key's grab, and while it is active the
        // server sends us no raw key events: the modifiers go up and down here then.
        const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
        const std::uint16_t mask = keyboard_.modifierMask(key.detail);
        if (type == XCB_KEY_PRESS) {
            heldModifiers_ |= mask;
        } else {
            heldModifiers_ &= static_cast<std::uint16_t>(~mask);
        }
        return;
    }
    if (type == XCB_MAPPING_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
        if (notify.request == XCB_MAPPING_POINTER) {
            loadButtonMapping();
        } else {
            keyboard_.refresh(notify);
        }
    }
}

void X11InputMonitor::rawButton(bool press, std::uint32_t detail, std::uint32_t time) {
    // Raw events carry the physical button; a left-handed mapping swaps them.
    std::uint32_t button = detail;
    if (detail >= 1 && detail <= buttonMap_.size() && buttonMap_[detail - 1] != 0) {
        button = buttonMap_[detail - 1];
    }
    // The drag so far comes before this press or release.
    flushMotion();
    const bool scroll = button >= firstScrollButton && button <= lastScrollButton;
    if (!press) {
        if (button != leftButton) return;
        const bool wasDown = leftDown_;
        leftDown_ = false;
        if (motionSelected_ && moves_.size() == 0) selectEvents();
        if (pressOnOwnWindow_) {
            // The program's own window had the press; it has the release too.
            pressOnOwnWindow_ = false;
            return;
        }
        if (!wasDown) return;
        const auto pointer = queryPointer();
        if (!pointer) return;
        const std::uint64_t flags =
            (pointer->mask & XCB_MOD_MASK_SHIFT) ? GestureEvent::shiftFlag : 0;
        gestures_.emit(GestureEvent(GestureEvent::leftMouseUpType, clicks_.count(leftButton), flags,
                                    0, pointer->location));
        return;
    }

    const auto pointer = queryPointer();
    if (!pointer) return;
    const bool own = environment_.isOwnWindow && environment_.isOwnWindow(pointer->child);
    if (button == leftButton) {
        leftDown_ = !own;
        pressOnOwnWindow_ = own;
        if (!motionSelected_ && leftDown_) selectEvents();
    }
    if (own) return;
    const std::uint64_t flags = (pointer->mask & XCB_MOD_MASK_SHIFT) ? GestureEvent::shiftFlag : 0;
    if (scroll) {
        gestures_.emit(GestureEvent(GestureEvent::scrollWheelType, 0, flags, 0, pointer->location));
        return;
    }
    if (environment_.doubleClickInterval) clicks_.setInterval(environment_.doubleClickInterval());
    const std::int64_t count = clicks_.press(button, time, pointer->location);
    std::uint32_t eventType = GestureEvent::otherMouseDownType;
    if (button == leftButton) {
        eventType = GestureEvent::leftMouseDownType;
        lastLeftPress_.store(static_cast<std::uint64_t>(time) + 1);
    } else if (button == rightButton) {
        eventType = GestureEvent::rightMouseDownType;
    }
    gestures_.emit(GestureEvent(eventType, count, flags, 0, pointer->location));
    if (button == leftButton || button == rightButton) downs_.emit();
}

void X11InputMonitor::rawKey(std::uint32_t detail) {
    const auto code = static_cast<xcb_keycode_t>(detail);
    if (syntheticKey(code)) return;
    // Typing into the bar or the panel is the program's own business.
    if (environment_.ownWindowFocused && environment_.ownWindowFocused()) return;
    const std::uint32_t keysym = keyboard_.keysym(code);
    // Modifiers only modify: remember which are held, in the order the keys went down and
    // up, which asking the server later could not tell.
    if (X11Keyboard::isModifierKeysym(keysym)) {
        heldModifiers_ |= keyboard_.modifierMask(code);
        return;
    }
    if (hotKey_ && hotKey_->first == code) {
        const std::uint16_t locks = XCB_MOD_MASK_LOCK | keyboard_.numLockMask();
        if ((heldModifiers_ & 0xff & ~locks) == hotKey_->second) return;
    }
    const auto keyCode = KeyCodes::keyCodeForKeysym(keysym);
    const auto program = keyCode ? static_cast<std::uint16_t>(*keyCode) : unknownKeyCode;
    gestures_.emit(GestureEvent(GestureEvent::keyDownType, 0, 0, program, lastLocation_));
}

void X11InputMonitor::motion() {
    // Motion comes in bursts: answer the burst once, after the events queued with it.
    if (motionPending_) return;
    motionPending_ = true;
    if (leftDown_) {
        QMetaObject::invokeMethod(
            context_.get(), [this] { flushMotion(); }, Qt::QueuedConnection);
        return;
    }
    // With no button down only the distance from the bar matters: a look per frame is
    // plenty, and keeps a moving mouse cheap while a bar is shown.
    QTimer::singleShot(moveInterval, context_.get(), [this] { flushMotion(); });
}

void X11InputMonitor::flushMotion() {
    if (!motionPending_) return;
    motionPending_ = false;
    if (pressOnOwnWindow_) return;
    if (!leftDown_ && moves_.size() == 0) return;
    const auto pointer = queryPointer();
    if (!pointer) return;
    if (leftDown_) {
        gestures_.emit(GestureEvent(GestureEvent::leftMouseDraggedType, clicks_.count(leftButton),
                                    0, 0, pointer->location));
        return;
    }
    // Moves over our own windows count too: a panel waits for the pointer to come in.
    moves_.emit(pointer->location);
}

void X11InputMonitor::activeWindowChanged() {
    if (!environment_.frontmostApp) return;
    auto app = environment_.frontmostApp();
    // Focus leaving every window names no application; a switch between windows of one
    // application is no switch of applications.
    if (!app || app == lastActiveApp_) return;
    lastActiveApp_ = app;
    activations_.emit(app);
}

}  // namespace pivorel
