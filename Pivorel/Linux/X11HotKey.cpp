#include "Pivorel/Linux/X11HotKey.h"

#include "BrisendoKit/Platform/KeyCodes.h"
#include "BrisendoKit/Storage/HotKeySpec.h"
#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/X11Connection.h"
#include "Pivorel/Linux/X11Keyboard.h"

namespace pivorel {

namespace {

constexpr std::uint8_t badAccess = 10;

constexpr std::pair<std::uint32_t, std::uint16_t> modifierBits[] = {
    {HotKeySpec::shift, XCB_MOD_MASK_SHIFT},
    {HotKeySpec::control, XCB_MOD_MASK_CONTROL},
    {HotKeySpec::option, XCB_MOD_MASK_1},  // Alt
    {HotKeySpec::cmd, XCB_MOD_MASK_4},     // Super
};

}  // namespace

std::uint16_t X11HotKey::x11Modifiers(std::uint32_t modifiers) {
    std::uint16_t out = 0;
    for (const auto& [ours, x11] : modifierBits) {
        if (modifiers & ours) out |= x11;
    }
    return out;
}

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
    grabbed_ = std::make_pair(*code, x11Modifiers(modifiers_));
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
