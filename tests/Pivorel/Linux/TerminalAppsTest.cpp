#include "Pivorel/Linux/TerminalApps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Pivorel/Linux/DesktopAppIndex.h"
#include "TempDir.h"

using namespace pivorel;

TEST(TerminalApps, InstalledTerminalEmulatorsAndTheWindowClassesKnownAlone) {
    test::TempDir data;
    const auto entry = [&](const std::string& id, const std::string& body) {
        std::filesystem::create_directories(data.path() / "applications");
        std::ofstream(data.path() / "applications" / (id + ".desktop"))
            << "[Desktop Entry]\nType=Application\n"
            << body;
    };
    entry("org.gnome.Terminal", "Categories=GNOME;GTK;System;TerminalEmulator;\n");
    entry("debian-xterm", "StartupWMClass=XTerm\nCategories=System;TerminalEmulator\n");
    entry("code", "Categories=Development;IDE;\n");
    entry("launcher", "Categories=Utility;TerminalEmulatorLauncher;\n");
    DesktopAppIndex apps({data.path()});

    EXPECT_TRUE(TerminalApps::isTerminal(apps, "org.gnome.Terminal"));
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "debian-xterm"));
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "code")) << "an editor copies with Control-C";
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "launcher")) << "categories are whole words";
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "kitty")) << "not installed here";

    // Windows no desktop file names keep their WM_CLASS as the identifier.
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "XTerm"));
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "URxvt", "urxvt", "URxvt"));
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "some-launcher-id", std::nullopt, "st-256color"))
        << "the window class decides when the identifier does not";
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "xterm2"));
    EXPECT_FALSE(TerminalApps::isTerminal(apps, std::nullopt, std::nullopt, std::nullopt));
}
