#include "Pivorel/Linux/X11Keyboard.h"

#include <xcb/xcb_keysyms.h>

#include <cstdlib>

#include "Pivorel/Linux/X11Connection.h"

namespace pivorel {

namespace {

constexpr std::uint32_t numLockKeysym = 0xff7f;

}  // namespace

X11Keyboard::X11Keyboard(X11Connection& connection)
    : connection_(connection), symbols_(xcb_key_symbols_alloc(connection.raw())) {
    loadModifiers();
}

X11Keyboard::~X11Keyboard() {
    if (symbols_) xcb_key_symbols_free(symbols_);
}

std::uint32_t X11Keyboard::keysym(xcb_keycode_t code) {
    std::lock_guard lock(mutex_);
    // The first use of the table fetches the mapping from the server.
    const std::uint32_t sym = symbols_ ? xcb_key_symbols_get_keysym(symbols_, code, 0) : 0;
    connection_.afterReply();
    return sym;
}

std::optional<xcb_keycode_t> X11Keyboard::keycode(std::uint32_t keysym) {
    std::lock_guard lock(mutex_);
    if (!symbols_) return std::nullopt;
    XReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols_, keysym));
    connection_.afterReply();
    if (!codes || codes.get()[0] == XCB_NO_SYMBOL) return std::nullopt;
    return codes.get()[0];
}

std::uint16_t X11Keyboard::numLockMask() {
    std::lock_guard lock(mutex_);
    return numLockMask_;
}

std::uint16_t X11Keyboard::modifierMask(xcb_keycode_t code) {
    std::lock_guard lock(mutex_);
    return modifierOf_[code];
}

bool X11Keyboard::isModifierKeysym(std::uint32_t keysym) {
    // Shift_L .. Hyper_R, the ISO level and group shifts, Mode_switch and Num_Lock.
    return (keysym >= 0xffe1 && keysym <= 0xffee) || (keysym >= 0xfe01 && keysym <= 0xfe13) ||
           keysym == 0xff7e || keysym == numLockKeysym;
}

void X11Keyboard::refresh(const xcb_mapping_notify_event_t& event) {
    {
        std::lock_guard lock(mutex_);
        if (symbols_) {
            xcb_refresh_keyboard_mapping(symbols_, const_cast<xcb_mapping_notify_event_t*>(&event));
        }
    }
    if (event.request == XCB_MAPPING_MODIFIER || event.request == XCB_MAPPING_KEYBOARD) {
        loadModifiers();
    }
}

void X11Keyboard::loadModifiers() {
    const auto numLock = keycode(numLockKeysym);
    xcb_connection_t* c = connection_.raw();
    XReply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    connection_.afterReply();
    std::uint16_t mask = 0;
    std::array<std::uint16_t, 256> modifierOf{};
    if (reply) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
        const int perModifier = reply->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod) {
            const auto bit = static_cast<std::uint16_t>(1u << mod);
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[mod * perModifier + i];
                if (code == 0) continue;
                modifierOf[code] |= bit;
                if (numLock && code == *numLock && !mask) mask = bit;
            }
        }
    }
    std::lock_guard lock(mutex_);
    numLockMask_ = mask;
    modifierOf_ = modifierOf;
}

}  // namespace pivorel
