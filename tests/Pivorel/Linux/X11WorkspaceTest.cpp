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

TEST(X11Workspace, TwoScreensGiveTwoVisibleFramesInTheProgramsCoordinates) {
    // Two monitors side by side on one X screen, as RandR describes them.
    XSessionOptions twoScreens;
    twoScreens.screens = {"2720x1024x24"};
    twoScreens.monitors = {"1440x900+0+0", "1280x1024+1440+0"};
    XDesktopEnvironment env(twoScreens);
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& workspace = env.desktop->workspace();

    const auto screens = workspace.screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1440, 900}));
    // Top edges aligned on X11: the taller screen reaches below the primary's bottom.
    EXPECT_EQ(screens[1].frame, (Rect{1440, -124, 1280, 1024}));
    for (const auto& screen : screens) {
        EXPECT_GE(screen.visibleFrame.minX(), screen.frame.minX());
        EXPECT_GE(screen.visibleFrame.minY(), screen.frame.minY());
        EXPECT_LE(screen.visibleFrame.maxX(), screen.frame.maxX());
        EXPECT_LE(screen.visibleFrame.maxY(), screen.frame.maxY());
        EXPECT_GT(screen.visibleFrame.width, 0);
    }

    ASSERT_TRUE(drive(*env.x, {"mousemove", "2000", "500"}));
    EXPECT_EQ(workspace.pointerLocation(), (Point{2000, 400}));
    EXPECT_EQ(workspace.mainScreen(), 1u) << "no window has the focus: the pointer's screen";
    const auto containing = screenContaining(workspace, {2000, 400});
    ASSERT_TRUE(containing);
    EXPECT_EQ(containing->frame, screens[1].frame);
}
