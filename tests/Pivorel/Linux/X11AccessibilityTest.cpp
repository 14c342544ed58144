#include "Pivorel/Linux/X11Accessibility.h"

#include <gtest/gtest.h>

#include <QClipboard>

#include "BrisendoKit/Selection/CopyFallback.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

using Scope = Accessibility::Scope;
constexpr std::size_t limit = 20000;

std::optional<std::string> primary(LinuxDesktop& desktop) {
    return offThread([&] {
        return desktop.accessibility().selectedText(Scope::systemWide, std::nullopt, limit);
    });
}

}  // namespace

// What the gestures select and that passwords are never read is the end-to-end suite's;
// here: what AT-SPI tells of a field.
TEST(X11Accessibility, QtAndGtkFieldsTellTextPasswordsAndEditability) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    if (!enableAccessibility(x)) GTEST_SKIP() << "no accessibility bus";
    auto& access = env.desktop->accessibility();
    spawnTestProgram(x);
    const auto fields = x.waitForWindow("pivorel-test-fields", 20s);
    ASSERT_TRUE(fields);
    settle(500ms);
    const auto g = env.geometry(*fields);
    EXPECT_EQ(primary(*env.desktop), std::nullopt) << "nothing selected since we started";
    ASSERT_TRUE(drive(x, dragSteps({g[0] + 12, g[1] + 25}, {g[0] + 300, g[1] + 25})));
    const auto app = env.desktop->workspace().frontmostApp();
    ASSERT_TRUE(app);
    // The program joins the accessibility bus a little after its window shows.
    ASSERT_TRUE(waitUntil(
        [&] { return offThread([&] { return access.focusedRole(app); }).has_value(); }, 5s));
    EXPECT_EQ(offThread([&] {
                  return access.roleAt({g[0] + 12.0, 900.0 - g[1] - 25});
              }),
              "AXTextField");
    EXPECT_EQ(offThread([&] { return access.focusedRole(app); }), "AXTextField");
    EXPECT_EQ(offThread([&] { return access.focusedSubrole(app); }), std::nullopt);
    EXPECT_TRUE(offThread([&] { return access.isSelectedTextSettable(app); }));
    EXPECT_EQ(offThread([&] { return access.selectedText(Scope::application, app, limit); }),
              "quick brown fox");
    ASSERT_TRUE(drive(x, dragSteps({g[0] + 12, g[1] + 75}, {g[0] + 300, g[1] + 75})));
    EXPECT_EQ(offThread([&] { return access.selectedText(Scope::application, app, limit); }),
              std::nullopt);
    EXPECT_EQ(offThread([&] { return access.focusedSubrole(app); }), "AXSecureTextField");

    // GTK's entry reading "entry" on the widget factory's first page.
    x.spawn({"gtk3-widget-factory"});
    const auto factory = x.waitForWindow("gtk3-widget-factory", 20s);
    ASSERT_TRUE(factory);
    settle(800ms);
    const auto f = env.geometry(*factory);
    ASSERT_TRUE(drive(x, dragSteps({f[0] + 263, f[1] + 254}, {f[0] + 17, f[1] + 254})));
    EXPECT_EQ(offThread([&] {
                  return access.roleAt({f[0] + 17.0, 900.0 - f[1] - 254});
              }),
              "AXTextField");
    EXPECT_TRUE(offThread([&] { return access.isSelectedTextSettable(std::nullopt); }));
    EXPECT_EQ(offThread([&] { return access.documentURL(std::nullopt); }), std::nullopt);
    // A single click clears GTK's selection.
    ASSERT_TRUE(drive(x, clickSteps({f[0] + 167, f[1] + 254})));
    EXPECT_EQ(primary(*env.desktop), std::nullopt);
}

// The clipboard put back and terminals spared are the end-to-end suite's; here: the copy
// command's own keystrokes and selection are not taken for the user's.
TEST(X11Accessibility, CopyCommandsAreNoTypingAndReachOnlyTheFrontApplication) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    auto& access = env.desktop->accessibility();
    auto& clipboard = env.desktop->pasteboard();
    std::vector<GestureEvent> keys;
    auto gestures = env.desktop->input().monitorGestures([&](const GestureEvent& e) {
        if (e.type == GestureEvent::keyDownType) keys.push_back(e);
    });
    QGuiApplication::clipboard()->setText("user clip");
    settle(100ms);

    spawnTestProgram(x, "QtFieldProgram.DISABLED_Serve", false);
    const auto fields = x.waitForWindow("pivorel-test-fields", 20s);
    ASSERT_TRUE(fields);
    settle(500ms);
    const auto g = env.geometry(*fields);
    ASSERT_TRUE(drive(x, dragSteps({g[0] + 12, g[1] + 25}, {g[0] + 300, g[1] + 25})));
    const auto app = env.desktop->workspace().frontmostApp();
    ASSERT_TRUE(app);
    // A click on the title bar leaves the field and its selection as they were.
    ASSERT_TRUE(drive(x, clickSteps({g[0] + 150, g[1] - 8})));
    ASSERT_EQ(env.desktop->workspace().frontmostApp(), app);
    keys.clear();

    // A synthetic Control-C (the program has no menu bar), the text off the clipboard.
    const auto read = offThread([&] {
        return CopyFallback::read(
            clipboard, [&] { return access.pressMenu(*app, 'C') == true; },
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });
    });
    ASSERT_TRUE(read) << static_cast<int>(read.error());
    EXPECT_EQ(read.value(), "quick brown fox");
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), "user clip");
    settle(100ms);
    EXPECT_TRUE(keys.empty()) << "our own keystrokes are no typing";
    // The field took the selection again when it copied; that was our doing, not a gesture.
    EXPECT_EQ(primary(*env.desktop), std::nullopt);

    x.spawn({"xmessage", "-geometry", "+600+300", "elsewhere"});
    const auto other = x.waitForWindow("xmessage");
    ASSERT_TRUE(other);
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*other)}));
    settle(200ms);
    EXPECT_EQ(offThread([&] { return access.pressMenu(*app, 'C'); }), std::nullopt)
        << "not to an application that is not in front";
}
