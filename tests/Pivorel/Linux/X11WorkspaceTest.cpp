#include "Pivorel/Linux/X11Workspace.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

#include "Pivorel/Linux/XDesktopTestSupport.h"

using namespace pivorel;
using namespace pivorel::test;

TEST(X11Workspace, ApplicationsPointerAndScreenInTheProgramsTerms) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    auto& workspace = env.desktop->workspace();
    x.spawn({"xterm", "-geometry", "40x10+100+100"});
    const auto term = x.waitForWindow("xterm");
    ASSERT_TRUE(term);
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*term)}));

    EXPECT_EQ(offThread([&] { return workspace.frontmostApp(); }), "debian-xterm")
        << "from the desktop file whose StartupWMClass is XTerm; any thread may ask";
    const auto running = workspace.runningApps();
    const auto xterm = std::find_if(running.begin(), running.end(), [](const RunningApp& a) {
        return a.bundleID == "debian-xterm";
    });
    ASSERT_NE(xterm, running.end());
    EXPECT_EQ(xterm->name, "XTerm");
    EXPECT_TRUE(xterm->regular);
    EXPECT_EQ(workspace.displayName("debian-xterm"), "XTerm");
    EXPECT_EQ(workspace.displayName("  "), std::nullopt);

    ASSERT_TRUE(drive(x, {"mousemove", "100", "200"}));
    EXPECT_EQ(workspace.pointerLocation(), (Point{100, 700}));

    const auto screens = workspace.screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(workspace.mainScreen(), 0u);

    const bool xdgOpen = !QStandardPaths::findExecutable("xdg-open").isEmpty();
    EXPECT_EQ(workspace.canOpen("https://example.com/a"), xdgOpen);
    EXPECT_EQ(workspace.canOpen("HTTP://example.com/a"), xdgOpen) << "schemes ignore case";
    EXPECT_FALSE(workspace.canOpen("no scheme at all"));
    EXPECT_FALSE(workspace.canOpen("1http://example.com")) << "a scheme begins with a letter";
    EXPECT_FALSE(workspace.canOpen("x-pivorel-nobody-handles-this:thing"));
}
