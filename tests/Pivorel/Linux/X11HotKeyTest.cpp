#include "Pivorel/Linux/X11HotKey.h"
#include "Pivorel/Linux/X11Keyboard.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "BrisendoKit/Storage/HotKeySpec.h"
#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/X11Connection.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

constexpr std::uint32_t keyN = 45;
constexpr std::uint32_t keyJ = 38;
constexpr std::uint32_t controlOption = HotKeySpec::control | HotKeySpec::option;

}  // namespace

TEST(X11HotKey, FiresWhateverTheLocksAndIsNotTyping) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    int pressed = 0;
    std::vector<GestureEvent> keys;
    auto gestures = env.desktop->input().monitorGestures([&](const GestureEvent& e) {
        if (e.type == GestureEvent::keyDownType) keys.push_back(e);
    });
    ASSERT_TRUE(env.desktop->registerHotKey(keyN, controlOption, [&] { ++pressed; }));

    ASSERT_TRUE(drive(x, {"key", "ctrl+alt+n"}));
    ASSERT_TRUE(waitUntil([&] { return pressed == 1; }));
    ASSERT_TRUE(drive(x, {"key", "Caps_Lock", "key", "Num_Lock", "key", "ctrl+alt+n", "key",
                          "Caps_Lock", "key", "Num_Lock"}));
    ASSERT_TRUE(waitUntil([&] { return pressed == 2; })) << "with CapsLock and NumLock on";
    ASSERT_TRUE(drive(x, {"key", "ctrl+n", "key", "alt+shift+n"}));
    settle(std::chrono::milliseconds(150));
    EXPECT_EQ(pressed, 2) << "other modifiers are other keys";
    EXPECT_EQ(keys.size(), 2u) << "only the two presses that were not the hot key are typing";

    // Another key replaces the first.
    ASSERT_TRUE(env.desktop->registerHotKey(keyJ, controlOption, [&] { pressed += 10; }));
    ASSERT_TRUE(drive(x, {"key", "ctrl+alt+n", "key", "ctrl+alt+j"}));
    ASSERT_TRUE(waitUntil([&] { return pressed == 12; }));
    env.desktop->unregisterHotKey();
    ASSERT_TRUE(drive(x, {"key", "ctrl+alt+j"}));
    settle(std::chrono::milliseconds(150));
    EXPECT_EQ(pressed, 12);
}

TEST(X11HotKey, AKeyHeldByAnotherProgramIsRefusedWithOneLogLine) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    // Another program grabs Control+Alt+N first.
    auto other = X11Connection::open();
    ASSERT_TRUE(other);
    xcb_connection_t* c = other.value()->raw();
    X11Keyboard keyboard(*other.value());
    const auto code = keyboard.keycode('n');
    ASSERT_TRUE(code);
    XReply<xcb_generic_error_t> error(xcb_request_check(
        c, xcb_grab_key_checked(c, 1, other.value()->root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                                *code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    ASSERT_FALSE(error);

    LogCapture log;
    EXPECT_FALSE(env.desktop->registerHotKey(keyN, controlOption, [] {}));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("热键")) << log.lines().front();

    // Free once the other program lets go: the server drops its grab when it has handled the
    // closed connection, which may take a moment.
    other.value().reset();
    EXPECT_TRUE(waitUntil([&] { return env.desktop->registerHotKey(keyN, controlOption, [] {}); }));
}
