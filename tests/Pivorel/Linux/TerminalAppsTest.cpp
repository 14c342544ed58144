#include "Pivorel/Linux/TerminalApps.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Content/RankingRules.h"

using namespace pivorel;

TEST(TerminalApps, KnowsTerminalsByIdentifierOrWindowClassInAnyCase) {
    EXPECT_TRUE(TerminalApps::isTerminal("xterm"));
    EXPECT_TRUE(TerminalApps::isTerminal("XTerm")) << "xterm's WM_CLASS class";
    EXPECT_TRUE(TerminalApps::isTerminal("debian-xterm")) << "its Debian desktop file";
    EXPECT_TRUE(TerminalApps::isTerminal("org.gnome.Terminal"));
    EXPECT_TRUE(TerminalApps::isTerminal("Gnome-terminal"));
    EXPECT_TRUE(TerminalApps::isTerminal("Alacritty"));
    EXPECT_FALSE(TerminalApps::isTerminal("code")) << "an editor copies with Control-C";
    EXPECT_FALSE(TerminalApps::isTerminal("gtk3-widget-factory"));
    EXPECT_FALSE(TerminalApps::isTerminal(""));
    EXPECT_FALSE(TerminalApps::isTerminal("xterm2"));

    EXPECT_TRUE(TerminalApps::isTerminal(std::nullopt, "urxvt", "URxvt"));
    EXPECT_TRUE(TerminalApps::isTerminal("some-launcher-id", std::nullopt, "kitty"))
        << "the window class decides when the identifier does not";
    EXPECT_FALSE(TerminalApps::isTerminal(std::nullopt, std::nullopt, std::nullopt));

    // Every terminal of the ranking's developer-tools group is one here too.
    const auto& developerTools = RankingRules::linuxAppGroups().at(3);
    for (const char* id :
         {"org.gnome.Terminal", "org.gnome.Console", "org.kde.konsole", "xfce4-terminal",
          "com.gexperts.Tilix", "terminator", "xterm", "kitty", "Alacritty",
          "org.wezfurlong.wezterm", "com.mitchellh.ghostty", "dev.warp.Warp"}) {
        EXPECT_NE(std::find(developerTools.begin(), developerTools.end(), id), developerTools.end())
            << id;
        EXPECT_TRUE(TerminalApps::isTerminal(id)) << id;
    }
}
