#include "Pivorel/Linux/X11Accessibility.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <filesystem>
#include <string>
#include <vector>

#include "BrisendoKit/Selection/CopyFallback.h"
#include "BrisendoKit/Support/Text.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

using Scope = Accessibility::Scope;
constexpr const char* still = "0.15";
constexpr std::size_t limit = 20000;

// Centre of a character cell of an xterm drawn with the 6x13 font (2-pixel border).
std::pair<int, int> cell(const std::array<int, 4>& window, int column, int row) {
    return {window[0] + 2 + column * 6 + 3, window[1] + 2 + row * 13 + 6};
}

std::vector<std::string> dragFrom(std::pair<int, int> from, std::pair<int, int> to) {
    return {"mousemove",
            std::to_string(from.first),
            std::to_string(from.second),
            "sleep",
            still,
            "mousedown",
            "1",
            "sleep",
            still,
            "mousemove_relative",
            "--",
            std::to_string((to.first - from.first) / 2),
            "0",
            "sleep",
            still,
            "mousemove",
            std::to_string(to.first),
            std::to_string(to.second),
            "mousemove_relative",
            "--",
            "1",
            "0",
            "sleep",
            still,
            "mouseup",
            "1",
            "sleep",
            still};
}

std::vector<std::string> clickAt(std::pair<int, int> at, int clicks = 1) {
    return {"mousemove",
            std::to_string(at.first),
            std::to_string(at.second),
            "sleep",
            still,
            "click",
            "--repeat",
            std::to_string(clicks),
            "--delay",
            "80",
            "1",
            "sleep",
            still};
}

std::optional<std::string> primary(LinuxDesktop& desktop) {
    return offThread([&] {
        return desktop.accessibility().selectedText(Scope::systemWide, std::nullopt, limit);
    });
}

// Accessibility on the test's own session bus, as a user turns it on; programs started
// afterwards expose themselves.
bool enableAccessibility(XSession& x) {
    return x.run({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                  "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                  "string:IsEnabled", "variant:boolean:true"})
               .status == 0;
}

}  // namespace

TEST(X11Accessibility, XtermSelectionsAreReadOnlyWhenMadeByTheLastGesture) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    x.spawn({"xterm", "-fn", "6x13", "-geometry", "60x8+40+40", "-e", "sh", "-c",
             "printf 'alpha beta gamma\\n'; exec sleep 600"});
    const auto window = x.waitForWindow("xterm");
    ASSERT_TRUE(window);
    spinFor(std::chrono::milliseconds(300));
    const auto g = env.geometry(*window);
    auto& desktop = *env.desktop;

    EXPECT_EQ(primary(desktop), std::nullopt) << "nothing selected since we started";

    ASSERT_TRUE(drive(x, dragFrom(cell(g, 0, 0), cell(g, 40, 0))));
    // Past the end of the line the line break is selected too; the reader trims it.
    EXPECT_EQ(primary(desktop), "alpha beta gamma\n");
    EXPECT_EQ(primary(desktop), "alpha beta gamma\n") << "reading again gives the same";

    // xterm keeps serving the old selection after a single click: it is not this gesture's.
    ASSERT_TRUE(drive(x, clickAt(cell(g, 8, 3))));
    EXPECT_EQ(primary(desktop), std::nullopt);

    ASSERT_TRUE(drive(x, clickAt(cell(g, 7, 0), 2)));
    EXPECT_EQ(primary(desktop), "beta");

    // A drag over blank lines selects line breaks only: blank, which the reader drops.
    ASSERT_TRUE(drive(x, dragFrom(cell(g, 2, 3), cell(g, 30, 5))));
    const auto blank = primary(desktop);
    ASSERT_TRUE(blank);
    EXPECT_EQ(text::trim(*blank), "");
}

TEST(X11Accessibility, QtAndGtkFieldsTellTextPasswordsAndEditability) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    const bool atspi = enableAccessibility(x);
    auto& access = env.desktop->accessibility();
    const auto self = std::filesystem::read_symlink("/proc/self/exe").string();
    x.spawn(
        {self, "--gtest_also_run_disabled_tests", "--gtest_filter=QtFieldProgram.DISABLED_Serve"},
        {{"QT_QPA_PLATFORM", "xcb"}, {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    const auto fields = x.waitForWindow("pivorel-test-fields", std::chrono::seconds(20));
    ASSERT_TRUE(fields);
    spinFor(std::chrono::milliseconds(500));
    const auto g = env.geometry(*fields);
    const std::pair<int, int> textLeft{g[0] + 12, g[1] + 25}, textRight{g[0] + 300, g[1] + 25};
    const std::pair<int, int> secretLeft{g[0] + 12, g[1] + 75}, secretRight{g[0] + 300, g[1] + 75};

    ASSERT_TRUE(drive(x, dragFrom(textLeft, textRight)));
    EXPECT_EQ(primary(*env.desktop), "quick brown fox");
    const auto app = env.desktop->workspace().frontmostApp();
    ASSERT_TRUE(app);
    if (atspi) {
        const Point core{static_cast<double>(textLeft.first), 900.0 - textLeft.second};
        EXPECT_EQ(offThread([&] { return access.roleAt(core); }), "AXTextField");
        EXPECT_EQ(offThread([&] { return access.focusedRole(app); }), "AXTextField");
        EXPECT_EQ(offThread([&] { return access.focusedSubrole(app); }), std::nullopt);
        EXPECT_TRUE(offThread([&] { return access.isSelectedTextSettable(app); }));
        EXPECT_EQ(offThread([&] { return access.selectedText(Scope::application, app, limit); }),
                  "quick brown fox");
    }

    // A password field publishes nothing, and is known for what it is.
    ASSERT_TRUE(drive(x, dragFrom(secretLeft, secretRight)));
    EXPECT_EQ(primary(*env.desktop), std::nullopt);
    EXPECT_EQ(offThread([&] { return access.selectedText(Scope::application, app, limit); }),
              std::nullopt);
    if (atspi) {
        EXPECT_EQ(offThread([&] { return access.focusedSubrole(app); }), "AXSecureTextField");
    }

    // GTK sets the selection during the drag, before the release.
    x.spawn({"gtk3-widget-factory"});
    const auto factory = x.waitForWindow("gtk3-widget-factory", std::chrono::seconds(20));
    ASSERT_TRUE(factory);
    spinFor(std::chrono::milliseconds(800));
    const auto f = env.geometry(*factory);
    // The editable entry reading "entry" on the first page (the one above it is greyed out).
    const std::pair<int, int> entryLeft{f[0] + 17, f[1] + 254}, entryRight{f[0] + 263, f[1] + 254};
    // From the empty end of the field back past its first letter.
    ASSERT_TRUE(drive(x, dragFrom(entryRight, entryLeft)));
    EXPECT_EQ(primary(*env.desktop), "entry");
    if (atspi) {
        const Point core{static_cast<double>(entryLeft.first), 900.0 - entryLeft.second};
        EXPECT_EQ(offThread([&] { return access.roleAt(core); }), "AXTextField");
        EXPECT_TRUE(offThread([&] { return access.isSelectedTextSettable(std::nullopt); }));
        EXPECT_EQ(offThread([&] { return access.documentURL(std::nullopt); }), std::nullopt);
    }
    // A single click clears GTK's selection.
    ASSERT_TRUE(drive(x, clickAt({entryLeft.first + 150, entryLeft.second})));
    EXPECT_EQ(primary(*env.desktop), std::nullopt);
}

TEST(X11Accessibility, CopyCommandsReachEditorsButNeverTerminals) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& x = *env.x;
    auto& access = env.desktop->accessibility();
    auto& clipboard = env.desktop->pasteboard();
    std::vector<GestureEvent> keys;
    auto gestures = env.desktop->input().monitorGestures([&](const GestureEvent& e) {
        if (e.type == GestureEvent::keyDownType) keys.push_back(e);
    });

    // What the user had copied before: two kinds of data.
    auto* copied = new QMimeData;
    copied->setText("user clip");
    copied->setHtml("<i>user</i>");
    QGuiApplication::clipboard()->setMimeData(copied);
    spinFor(std::chrono::milliseconds(100));

    const auto self = std::filesystem::read_symlink("/proc/self/exe").string();
    x.spawn(
        {self, "--gtest_also_run_disabled_tests", "--gtest_filter=QtFieldProgram.DISABLED_Serve"},
        {{"QT_QPA_PLATFORM", "xcb"}});
    const auto fields = x.waitForWindow("pivorel-test-fields", std::chrono::seconds(20));
    ASSERT_TRUE(fields);
    spinFor(std::chrono::milliseconds(500));
    const auto g = env.geometry(*fields);
    ASSERT_TRUE(drive(x, dragFrom({g[0] + 12, g[1] + 25}, {g[0] + 300, g[1] + 25})));
    const auto app = env.desktop->workspace().frontmostApp();
    ASSERT_TRUE(app);
    // A click on the window's title bar leaves the field and its selection as they were.
    ASSERT_TRUE(drive(x, clickAt({g[0] + 150, g[1] - 8})));
    ASSERT_EQ(env.desktop->workspace().frontmostApp(), app);
    keys.clear();

    // The copy fallback: a synthetic Control-C (the program has no menu bar), the text off
    // the clipboard, the user's clipboard put back.
    const auto read = offThread([&] {
        return CopyFallback::read(
            clipboard, [&] { return access.pressMenu(*app, 'C') == true; },
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });
    });
    ASSERT_TRUE(read) << static_cast<int>(read.error());
    EXPECT_EQ(read.value(), "quick brown fox");
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), "user clip");
    const auto restored = offThread([&] { return clipboard.snapshot(); });
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_EQ(restored[0].at("text/html"), "<i>user</i>");
    spinFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(keys.empty()) << "our own keystrokes are no typing";
    // The field took the selection again when it copied; that was our doing, not a gesture.
    EXPECT_EQ(primary(*env.desktop), std::nullopt);

    // Control-C in a terminal would interrupt its job: never sent, whatever asks.
    const auto marker = std::filesystem::temp_directory_path() /
                        ("pivorel-interrupted-" + std::to_string(::getpid()));
    std::filesystem::remove(marker);
    x.spawn({"xterm", "-geometry", "40x10+500+100", "-e", "sh", "-c",
             "trap 'touch " + marker.string() + "' INT; while true; do sleep 1; done"});
    const auto term = x.waitForWindow("xterm");
    ASSERT_TRUE(term);
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*term)}));
    spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(offThread([&] { return access.pressMenu("debian-xterm", 'C'); }), std::nullopt);
    EXPECT_EQ(offThread([&] { return access.pressMenu("XTerm", 'V'); }), std::nullopt);
    spinFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(std::filesystem::exists(marker));
    // Nor to an application that is not in front.
    EXPECT_EQ(offThread([&] { return access.pressMenu(*app, 'C'); }), std::nullopt);
    std::filesystem::remove(marker);
}
