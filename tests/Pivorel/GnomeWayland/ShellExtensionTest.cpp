#include "Pivorel/GnomeWayland/ShellExtension.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Storage/HotKeySpec.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "QtApp.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
using Session = ShellExtension::Session;

TEST(ShellExtension, OnlyGnomesWaylandSessionUsesTheExtension) {
    const struct {
        const char* type;
        const char* desktop;
        Session session;
    } cases[] = {
        {"wayland", "GNOME", Session::gnomeWayland},
        {"wayland", "ubuntu:GNOME", Session::gnomeWayland},
        {"Wayland", "GNOME-Classic:GNOME", Session::gnomeWayland},
        {"wayland", "GNOME-Flashback", Session::otherWayland},
        {"wayland", "KDE", Session::otherWayland},
        {"wayland", "", Session::otherWayland},
        {"x11", "GNOME", Session::x11},
        {"", "", Session::x11},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShellExtension::sessionKind(c.type, c.desktop), c.session)
            << c.type << " " << c.desktop;
    }
}

TEST(ShellExtension, HotKeysBecomeGnomeAccelerators) {
    using H = HotKeySpec;
    EXPECT_EQ(ShellExtension::accelerator(45, H::control | H::option), "<Control><Alt>n");
    EXPECT_EQ(ShellExtension::accelerator(49, H::cmd | H::shift), "<Shift><Super>space");
    EXPECT_EQ(ShellExtension::accelerator(122, H::control), "<Control>F1");
    EXPECT_EQ(ShellExtension::accelerator(0xffff, H::control), std::nullopt);
    EXPECT_EQ(ShellExtension::shellMajorVersion("GNOME Shell 43.9\n"), 43);
    EXPECT_EQ(ShellExtension::shellMajorVersion("GNOME Shell 46.alpha"), 46);
    EXPECT_EQ(ShellExtension::shellMajorVersion("command not found"), std::nullopt);
}

// The build GNOME loads: legacy imports before 45, ES modules from 45 on, each declaring
// the releases it fits and, for modules, valid JavaScript.
TEST(ShellExtension, InstallsTheBuildOfTheShellsGeneration) {
    qtApp();
    TempDir home;
    EXPECT_FALSE(ShellExtension::installFiles(home.path(), 42));
    for (const int major : {43, 47}) {
        const auto dir = ShellExtension::installFiles(home.path(), major);
        ASSERT_TRUE(dir) << dir.error();
        EXPECT_EQ(*dir, home.path() / "gnome-shell/extensions/pivorel@morvale.com");
        const auto script = readText(*dir / "extension.js");
        const auto metadata = readText(*dir / "metadata.json");
        EXPECT_NE(metadata.find("\"" + std::to_string(major) + "\""), std::string::npos);
        EXPECT_NE(metadata.find(ShellExtension::uuid), std::string::npos);
        EXPECT_EQ(script.find("imports.gi") != std::string::npos, major < 45);
        EXPECT_EQ(script.find("export default class") != std::string::npos, major >= 45);
        const auto node = ChildProcess::findInPath("node");
        if (major < 45 || node.empty()) continue;
        std::filesystem::copy_file(*dir / "extension.js", home.path() / "extension.mjs");
        const auto check =
            ChildProcess::run({node, "--check", (home.path() / "extension.mjs").string()}, 30);
        EXPECT_EQ(check.exitStatus, 0) << check.output;
    }
}
