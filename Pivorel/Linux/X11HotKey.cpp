#include "Linux/X11HotKey.h"

#include "Linux/X11Connection.h"
#include "Linux/X11Keyboard.h"
#include "Platform/KeyCodes.h"
#include "Storage/HotKeySpec.h"
#include "Support/Log.h"

namespace pivorel {

namespace {

constexpr std::uint8_t badAccess = 10;

}  // namespace

X11HotKey::X11HotKey(X11Connection& x, X11Keyboard& keyboard) : x_(x), keyboard_(keyboard) {
    events_ = x_.subscribe([this](const xcb_generic_event_t& event) { handle(event); });
}

X11HotKey::~X11HotKey() {
    events_.reset();
    ungrab();
}

std::vector<std::uint16_t> X11HotKey::variants() const {
    if (!grabbed_) return {};
    const std::uint16_t mods = grabbed_->second;
    const std::uint16_t numLock = keyboard_.numLockMask();
    std::vector<std::uint16_t> out{mods, static_cast<std::uint16_t>(mods | XCB_MOD_MASK_LOCK)};
    if (numLock) {
        out.push_back(static_cast<std::uint16_t>(mods | numLock));
        out.push_back(static_cast<std::uint16_t>(mods | numLock | XCB_MOD_MASK_LOCK));
    }
    return out;
}

bool X11HotKey::registerKey(std::uint32_t keyCode, std::uint32_t modifiers,
                            std::function<void()> onPressed) {
    ungrab();
    keyCode_ = keyCode;
    modifiers_ = modifiers;
    onPressed_ = std::move(onPressed);
    if (grab()) return true;
    onPressed_ = nullptr;
    Log::write("Pivorel: 热键注册失败，已被其他程序占用 key=" +
               HotKeySpec{keyCode, modifiers}.display());
    return false;
}

void X11HotKey::unregisterKey() {
    ungrab();
    onPressed_ = nullptr;
}

bool X11HotKey::grab() {
    const auto keysym = KeyCodes::keysymForKeyCode(keyCode_);
    const auto code = keysym ? keyboard_.keycode(*keysym) : std::nullopt;
    if (!code) return false;
    grabbed_ =
        std::make_pair(*code, static_cast<std::uint16_t>(KeyCodes::x11Modifiers(modifiers_)));
    xcb_connection_t* c = x_.raw();
    bool ok = true;
    for (std::uint16_t mods : variants()) {
        XReply<xcb_generic_error_t> error(
            xcb_request_check(c, xcb_grab_key_checked(c, 1, x_.root(), mods, grabbed_->first,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        if (error) ok = false;
        if (error && error->error_code != badAccess) break;
    }
    if (!ok) ungrab();
    return ok;
}

void X11HotKey::ungrab() {
    if (!grabbed_) return;
    for (std::uint16_t mods : variants()) {
        xcb_ungrab_key(x_.raw(), grabbed_->first, x_.root(), mods);
    }
    x_.flush();
    grabbed_.reset();
}

void X11HotKey::handle(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        // The key may sit elsewhere now, or NumLock on another modifier.
        if (grabbed_) {
            ungrab();
            grab();
        }
        return;
    }
    if (type != XCB_KEY_PRESS || !grabbed_ || !onPressed_) return;
    const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
    const std::uint16_t ignored = XCB_MOD_MASK_LOCK | keyboard_.numLockMask();
    if (press.detail != grabbed_->first || (press.state & 0xff & ~ignored) != grabbed_->second) {
        return;
    }
    auto callback = onPressed_;
    callback();
}

}  // namespace pivorel
