#include "Pivorel/Linux/DesktopColorScheme.h"

#include <gtest/gtest.h>

using namespace pivorel;

TEST(DesktopColorScheme, PortalFirstThenTheThemeNameThenQtsPalette) {
    struct Case {
        std::optional<unsigned> portal;
        const char* theme;
        bool paletteDark;
        bool dark;
    };
    const Case cases[] = {
        // A portal that states a preference overrides the theme and the palette.
        {1, "Adwaita", false, true},
        {2, "Adwaita-dark", true, false},
        // "No preference" or no portal: the theme name decides.
        {0, "'Adwaita-dark'\n", false, true},  // as gsettings prints it
        {std::nullopt, "Breeze-Dark", false, true},
        {std::nullopt, "Adwaita:dark", false, true},  // GTK_THEME's variant
        {std::nullopt, "Yaru", true, false},
        {std::nullopt, "Darkly", false, false},
        // No theme name either: Qt's palette.
        {std::nullopt, "", true, true},
        {0, "''\n", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DesktopColorScheme::decide(c.portal, c.theme, c.paletteDark), c.dark)
            << (c.portal ? static_cast<int>(*c.portal) : -1) << " " << c.theme << " "
            << c.paletteDark;
    }
}
