#include <atspi/atspi-constants.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "BrisendoKit/Selection/SelectionReader.h"
#include "Pivorel/Linux/AtSpiNames.h"
#include "Pivorel/Linux/ClickCounter.h"
#include "Pivorel/Linux/ScreenCoordinates.h"

using namespace pivorel;

TEST(ClickCounter, SeriesNeedTheSameButtonSoonEnoughAndCloseEnough) {
    ClickCounter clicks(400);
    EXPECT_EQ(clicks.press(1, 1000, {10, 10}), 1);
    EXPECT_EQ(clicks.press(1, 1300, {12, 11}), 2);
    EXPECT_EQ(clicks.press(1, 1700, {12, 11}), 3) << "measured from the previous press";
    EXPECT_EQ(clicks.count(1), 3);
    EXPECT_EQ(clicks.count(3), 1) << "another button's release is a single click";
    EXPECT_EQ(clicks.press(1, 2101, {12, 11}), 1) << "one millisecond too late";
    EXPECT_EQ(clicks.press(1, 2200, {12, 17}), 1) << "moved six points";
    EXPECT_EQ(clicks.press(3, 2300, {12, 17}), 1) << "another button";
    EXPECT_EQ(clicks.press(1, 2400, {12, 17}), 1) << "the right press broke the series";
    clicks.setInterval(200);
    EXPECT_EQ(clicks.press(1, 2650, {12, 17}), 1) << "a shorter desktop setting applies";

    ClickCounter wrapping;
    EXPECT_EQ(wrapping.press(1, 0xffffff00u, {0, 0}), 1);
    EXPECT_EQ(wrapping.press(1, 0x00000010u, {0, 0}), 2) << "272 ms later, across the wrap";
    EXPECT_EQ(wrapping.press(1, 0x00000005u, {0, 0}), 1) << "a press dated before the last one";
    EXPECT_EQ(ClickCounter().count(1), 1);
    EXPECT_EQ(ClickCounter().press(1, 0, {0, 0}), 1) << "the very first press at time zero";
}

TEST(AtSpiNames, ControlsAreNonTextTargetsAndFieldsAreText) {
    const auto nonText = [](std::uint32_t role) {
        const auto& roles = SelectionReader::nonTextRoles;
        return std::find(roles.begin(), roles.end(), AtSpiNames::role(role, 0)) != roles.end();
    };
    const auto with = [](std::uint32_t state) { return std::uint64_t{1} << state; };
    for (auto role : {ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_TOGGLE_BUTTON, ATSPI_ROLE_SCROLL_BAR,
                      ATSPI_ROLE_MENU_ITEM, ATSPI_ROLE_CHECK_BOX, ATSPI_ROLE_PAGE_TAB_LIST,
                      ATSPI_ROLE_COMBO_BOX}) {
        EXPECT_TRUE(nonText(role)) << "role " << role;
    }
    for (auto role :
         {ATSPI_ROLE_TEXT, ATSPI_ROLE_ENTRY, ATSPI_ROLE_DOCUMENT_WEB, ATSPI_ROLE_LABEL,
          ATSPI_ROLE_TERMINAL, ATSPI_ROLE_SPIN_BUTTON, ATSPI_ROLE_LINK, ATSPI_ROLE_INVALID}) {
        EXPECT_FALSE(nonText(role)) << "role " << role;
    }
    EXPECT_EQ(AtSpiNames::role(ATSPI_ROLE_TEXT, with(ATSPI_STATE_SINGLE_LINE)), "AXTextField");
    EXPECT_EQ(AtSpiNames::role(ATSPI_ROLE_TEXT, with(ATSPI_STATE_MULTI_LINE)), "AXTextArea");
    EXPECT_EQ(AtSpiNames::role(ATSPI_ROLE_COMBO_BOX, with(ATSPI_STATE_EDITABLE)), "AXComboBox")
        << "a combo box one types into holds text";
    EXPECT_EQ(AtSpiNames::role(9999, 0), "AXUnknown");
    EXPECT_EQ(AtSpiNames::subrole(ATSPI_ROLE_PASSWORD_TEXT), "AXSecureTextField");
    EXPECT_EQ(AtSpiNames::subrole(ATSPI_ROLE_TEXT), std::nullopt);
    EXPECT_TRUE(AtSpiNames::hasState(with(ATSPI_STATE_SHOWING), ATSPI_STATE_SHOWING));
    EXPECT_FALSE(AtSpiNames::hasState(~std::uint64_t{0}, 64)) << "no state past the mask";
}

TEST(AtSpiNames, OnlyControlAloneWithTheKeyIsTheShortcut) {
    // GTK writes "mnemonic;path;accelerator"; terminals copy with Control+Shift.
    const std::vector<std::tuple<const char*, char, bool>> cases{
        {"c;<Alt>e:c;<Control>c", 'C', true},
        {"<Primary>x", 'X', true},
        {"Ctrl+V", 'V', true},
        {" <control>C ", 'c', true},
        {"<Control><Shift>c", 'C', false},
        {"Ctrl+Shift+C", 'C', false},
        {"c;<Alt>e:c;", 'C', false},
        {"<Alt>c", 'C', false},
        {"<Control>v", 'C', false},
        {"<Control>cc", 'C', false},
        {"", 'C', false},
        {"<Control", 'C', false},
        {"Ctrl++", 'C', false}};
    for (const auto& [shortcut, key, expected] : cases)
        EXPECT_EQ(AtSpiNames::isControlShortcut(shortcut, key), expected) << shortcut;
}

// Each device position lands where Qt draws the same spot, and goes back exactly.
TEST(ScreenCoordinates, DevicePixelsAreThePointsOfTheScreenTheyAreOn) {
    using Screens = std::vector<ScreenCoordinates::Screen>;
    // Logical geometry and scale as Qt reports them, the primary first: 2880x1800 device
    // pixels at scale 2 and a 2560x1600 monitor right of it at 1.5 (Qt rounds its size).
    const Screens twoScales{{{0, 0, 1440, 900}, 2}, {{2880, 0, 1707, 1067}, 1.5}};
    // The same monitors with the unscaled one primary: the flip follows its height.
    const Screens primaryRight{{{2880, 0, 2560, 1600}, 1}, {{0, 0, 1440, 900}, 2}};
    const std::vector<std::tuple<const char*, Screens, Point, Point>> cases{
        {"scale 1", {{{0, 0, 1440, 900}, 1}}, {100, 200}, {100, 700}},
        {"scale 2", {{{0, 0, 1440, 900}, 2}}, {1800, 900}, {900, 450}},
        {"scale 1.5", {{{0, 0, 1920, 1200}, 1.5}}, {300, 600}, {200, 800}},
        {"first of two monitors", twoScales, {100, 100}, {50, 850}},
        {"second of two monitors", twoScales, {3180, 300}, {3080, 700}},
        {"below the shorter monitor", twoScales, {3180, 1700}, {3080, 900 - 1700 / 1.5}},
        {"left of the primary", primaryRight, {1000, 200}, {500, 1500}},
    };
    for (const auto& [what, screens, device, program] : cases) {
        SCOPED_TRACE(what);
        const ScreenCoordinates coordinates(screens);
        const Point p = coordinates.fromDevice(device);
        EXPECT_NEAR(p.x, program.x, 1e-9);
        EXPECT_NEAR(p.y, program.y, 1e-9);
        const Point back = coordinates.toDevice(p);
        EXPECT_NEAR(back.x, device.x, 1e-9);
        EXPECT_NEAR(back.y, device.y, 1e-9);
    }
}
