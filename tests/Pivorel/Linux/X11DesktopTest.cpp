#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QClipboard>
#include <QMimeData>
#include <QStandardPaths>
#include <QWidget>
#include <QWindow>

#include "BrisendoKit/Storage/HotKeySpec.h"
#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/X11Keyboard.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t keyN = 45, keyJ = 38;
constexpr std::uint32_t controlOption = HotKeySpec::control | HotKeySpec::option;

// Global coordinates (origin bottom left) of an X11 point on the 900-pixel-high screen.
Point core(double x, double y) {
    return {x, 900 - y};
}

std::vector<GestureEvent> ofType(const std::vector<GestureEvent>& events, std::uint32_t type) {
    std::vector<GestureEvent> out;
    std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                 [&](const GestureEvent& e) { return e.type == type; });
    return out;
}

// Qt of this process is a client of its own: it stands for the program the user copied in.
void copyInQt(std::map<QString, QByteArray> formats) {
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : formats) data->setData(format, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
    settle(100ms);
}

}  // namespace

// Restoring every saved target is the end-to-end suite's.
TEST(X11Clipboard, SnapshotsOwnStringsAndChangeCounts) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& clipboard = env.desktop->pasteboard();
    const std::string binary("\x00\x01\xfe\xff binary", 11);
    copyInQt({{"text/plain", "plain words"},
              {"text/html", "<b>bold</b>"},
              {"application/x-pivorel-test", QByteArray(binary.data(), binary.size())}});
    const auto count = offThread([&] { return clipboard.changeCount(); });
    const auto saved = offThread([&] { return clipboard.snapshot(); });
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].at("application/x-pivorel-test"), binary);
    for (const char* meta : {"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS"})
        EXPECT_EQ(saved[0].count(meta), 0u) << meta;
    EXPECT_EQ(offThread([&] { return clipboard.changeCount(); }), count) << "reading is no change";

    offThread([&] { clipboard.setString("replaced ünïcode"); });
    EXPECT_GT(offThread([&] { return clipboard.changeCount(); }), count);
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), "replaced ünïcode");
    const auto ours = offThread([&] { return clipboard.snapshot(); });
    ASSERT_EQ(ours.size(), 1u) << "what we own, we list too";
    EXPECT_EQ(ours[0].at("text/plain;charset=utf-8"), "replaced ünïcode");
    const auto replaced = clipboardSeenByOthers();
    EXPECT_EQ(replaced.at("UTF8_STRING"), "replaced ünïcode");
    EXPECT_EQ(replaced.at("STRING"),
              "replaced \xfc"
              "n\xef"
              "code")
        << "Latin-1 for old clients";
    EXPECT_EQ(replaced.count("text/html"), 0u);

    // Restoring an empty clipboard leaves it without an owner.
    offThread([&] { clipboard.restore({}); });
    EXPECT_TRUE(offThread([&] { return clipboard.snapshot(); }).empty());
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), std::nullopt);

    // A password manager's secret is never handed out as text, but a snapshot keeps it.
    copyInQt({{"text/plain", "hunter2"}, {"x-kde-passwordManagerHint", "secret"}});
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), std::nullopt);
    const auto secret = offThread([&] { return clipboard.snapshot(); });
    ASSERT_EQ(secret.size(), 1u);
    EXPECT_EQ(secret[0].at(std::string(X11Clipboard::passwordHint)), "secret");
    copyInQt({{"text/plain", "not a secret"}, {"x-kde-passwordManagerHint", "other"}});
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), "not a secret");
}

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
    ASSERT_TRUE(
        driveLine(x, "key Caps_Lock key Num_Lock key ctrl+alt+n key Caps_Lock key Num_Lock"));
    ASSERT_TRUE(waitUntil([&] { return pressed == 2; })) << "with CapsLock and NumLock on";
    ASSERT_TRUE(drive(x, {"key", "ctrl+n", "key", "alt+shift+n"}));
    settle(150ms);
    EXPECT_EQ(pressed, 2) << "other modifiers are other keys";
    EXPECT_EQ(keys.size(), 2u) << "only the two presses that were not the hot key are typing";

    // Another key replaces the first.
    ASSERT_TRUE(env.desktop->registerHotKey(keyJ, controlOption, [&] { pressed += 10; }));
    ASSERT_TRUE(drive(x, {"key", "ctrl+alt+n", "key", "ctrl+alt+j"}));
    ASSERT_TRUE(waitUntil([&] { return pressed == 12; }));
    env.desktop->unregisterHotKey();
    ASSERT_TRUE(drive(x, {"key", "ctrl+alt+j"}));
    settle(150ms);
    EXPECT_EQ(pressed, 12);
}

TEST(X11HotKey, AKeyHeldByAnotherProgramIsRefusedWithOneLogLine) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto other = X11Connection::open();
    ASSERT_TRUE(other);
    xcb_connection_t* c = other.value()->raw();
    const auto code = X11Keyboard(*other.value()).keycode('n');
    ASSERT_TRUE(code);
    XReply<xcb_generic_error_t> error(xcb_request_check(
        c, xcb_grab_key_checked(c, 1, other.value()->root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                                *code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    ASSERT_FALSE(error);

    LogCapture log;
    EXPECT_FALSE(env.desktop->registerHotKey(keyN, controlOption, [] {}));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("热键")) << log.lines().front();
    // Free once the other program lets go (the server may take a moment).
    other.value().reset();
    EXPECT_TRUE(waitUntil([&] { return env.desktop->registerHotKey(keyN, controlOption, [] {}); }));
}

// Where drags, clicks and shift-clicks land, and how presses count, is the end-to-end
// suite's; here: the other buttons and keys.
TEST(X11InputMonitor, ButtonsWheelAndKeysArriveInTheProgramsTerms) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    std::vector<GestureEvent> events;
    int downs = 0;
    auto gestures =
        env.desktop->input().monitorGestures([&](const GestureEvent& e) { events.push_back(e); });
    auto presses = env.desktop->input().monitorMouseDowns([&] { ++downs; });
    ASSERT_TRUE(driveLine(*env.x, "mousemove 500 400 click 4 click 3 click 2 key Escape key a"));
    ASSERT_TRUE(waitUntil([&] { return ofType(events, GestureEvent::keyDownType).size() == 2; }));
    EXPECT_EQ(ofType(events, GestureEvent::scrollWheelType).size(), 1u);
    EXPECT_EQ(ofType(events, GestureEvent::rightMouseDownType).size(), 1u);
    EXPECT_EQ(ofType(events, GestureEvent::otherMouseDownType).size(), 1u);
    const auto keys = ofType(events, GestureEvent::keyDownType);
    EXPECT_EQ(keys[0].keyCode, 53);
    EXPECT_EQ(keys[1].keyCode, 0);
    EXPECT_EQ(downs, 1) << "only left and right presses count as mouse downs";
}

TEST(X11InputMonitor, OwnWindowsUnmonitoredMovesAndRepeatedActivationsStayQuiet) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    std::vector<GestureEvent> events;
    std::vector<Point> moves;
    auto gestures =
        env.desktop->input().monitorGestures([&](const GestureEvent& e) { events.push_back(e); });
    ASSERT_TRUE(driveLine(x, "mousemove 700 600"));
    auto moveMonitor = env.desktop->input().monitorMouseMoves([&](Point p) { moves.push_back(p); });
    ASSERT_TRUE(driveLine(x, "mousemove_relative -- 10 0"));
    ASSERT_TRUE(waitUntil([&] { return !moves.empty(); }));
    EXPECT_EQ(moves.back(), core(710, 600));

    // Pressed inside one of our own windows, dragged out and let go outside: all of it is
    // the window's own business.
    QWidget own;
    own.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    own.setGeometry(100, 100, 200, 200);
    own.show();
    ASSERT_TRUE(waitUntil([&] { return own.isVisible() && own.windowHandle()->isExposed(); }));
    settle(100ms);
    moves.clear();
    events.clear();
    ASSERT_TRUE(driveLine(x,
                          "mousemove 150 150 mousemove_relative -- 5 5 sleep 0.1 mousedown 1 "
                          "sleep 0.1 mousemove 400 400 mousemove_relative -- 5 5 sleep 0.1 "
                          "mouseup 1 sleep 0.1 mousemove_relative -- 5 5"));
    settle(200ms);
    EXPECT_TRUE(events.empty()) << events.size() << " events";
    ASSERT_FALSE(moves.empty()) << "a move outside after the release is reported";
    EXPECT_EQ(moves.back(), core(410, 410));

    // Activations name the application; the same one again is no news.
    std::vector<std::optional<std::string>> activated;
    auto observer = env.desktop->input().observeActivations(
        [&](const std::optional<std::string>& app) { activated.push_back(app); });
    x.spawn({"xterm", "-geometry", "40x10+0+0"});
    const auto term = x.waitForWindow("xterm");
    ASSERT_TRUE(term);
    x.spawn({"xmessage", "-geometry", "+600+300", "hello"});
    const auto message = x.waitForWindow("xmessage");
    ASSERT_TRUE(message);
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*term)}));
    ASSERT_TRUE(waitUntil([&] {
        return !activated.empty() && activated.back() == std::optional<std::string>("debian-xterm");
    }));
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*message)}));
    ASSERT_TRUE(
        waitUntil([&] { return activated.back() == std::optional<std::string>("Xmessage"); }));
    const auto count = activated.size();
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*message)}));
    settle(100ms);
    EXPECT_EQ(activated.size(), count);
}

TEST(X11Workspace, ApplicationsPointerAndScreenInTheProgramsTerms) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    auto& workspace = env.desktop->workspace();
    x.spawn({"xterm", "-geometry", "40x10+100+100"});
    const auto term = x.waitForWindow("xterm");
    ASSERT_TRUE(term);
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*term)}));
    // From the desktop file whose StartupWMClass is XTerm; any thread may ask.
    EXPECT_EQ(offThread([&] { return workspace.frontmostApp(); }), "debian-xterm");
    const auto running = workspace.runningApps();
    const auto xterm = std::find_if(running.begin(), running.end(), [](const RunningApp& a) {
        return a.bundleID == "debian-xterm";
    });
    ASSERT_NE(xterm, running.end());
    EXPECT_EQ(xterm->name, "XTerm");
    EXPECT_TRUE(xterm->regular);
    EXPECT_EQ(workspace.displayName("debian-xterm"), "XTerm");
    EXPECT_EQ(workspace.displayName("  "), std::nullopt);

    const bool xdgOpen = !QStandardPaths::findExecutable("xdg-open").isEmpty();
    EXPECT_EQ(workspace.canOpen("https://example.com/a"), xdgOpen);
    EXPECT_EQ(workspace.canOpen("HTTP://example.com/a"), xdgOpen) << "schemes ignore case";
    EXPECT_FALSE(workspace.canOpen("1http://example.com")) << "a scheme begins with a letter";
    EXPECT_FALSE(workspace.canOpen("x-pivorel-nobody-handles-this:thing"));
}
