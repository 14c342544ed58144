#include "Pivorel/Linux/AtSpiNames.h"

#include <atspi/atspi-constants.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "BrisendoKit/Selection/SelectionReader.h"

using namespace pivorel;

namespace {

std::uint64_t with(std::initializer_list<std::uint32_t> states) {
    std::uint64_t mask = 0;
    for (auto s : states) mask |= std::uint64_t{1} << s;
    return mask;
}

bool nonText(const std::string& role) {
    const auto& roles = SelectionReader::nonTextRoles;
    return std::find(roles.begin(), roles.end(), role) != roles.end();
}

}  // namespace

TEST(AtSpiNames, ControlsAreNonTextTargetsAndFieldsAreText) {
    for (auto role :
         {ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_TOGGLE_BUTTON, ATSPI_ROLE_SCROLL_BAR,
          ATSPI_ROLE_MENU_ITEM, ATSPI_ROLE_CHECK_MENU_ITEM, ATSPI_ROLE_MENU_BAR, ATSPI_ROLE_MENU,
          ATSPI_ROLE_CHECK_BOX, ATSPI_ROLE_RADIO_BUTTON, ATSPI_ROLE_SLIDER, ATSPI_ROLE_TOOL_BAR,
          ATSPI_ROLE_PAGE_TAB_LIST, ATSPI_ROLE_COMBO_BOX}) {
        EXPECT_TRUE(nonText(AtSpiNames::role(role, 0))) << "role " << role;
    }
    for (auto role :
         {ATSPI_ROLE_TEXT, ATSPI_ROLE_ENTRY, ATSPI_ROLE_PASSWORD_TEXT, ATSPI_ROLE_DOCUMENT_WEB,
          ATSPI_ROLE_LABEL, ATSPI_ROLE_PARAGRAPH, ATSPI_ROLE_TERMINAL, ATSPI_ROLE_SPIN_BUTTON,
          ATSPI_ROLE_LINK, ATSPI_ROLE_TABLE_CELL, ATSPI_ROLE_INVALID, ATSPI_ROLE_LAST_DEFINED}) {
        EXPECT_FALSE(nonText(AtSpiNames::role(role, 0))) << "role " << role;
    }
    EXPECT_EQ(AtSpiNames::role(ATSPI_ROLE_TEXT, with({ATSPI_STATE_SINGLE_LINE})), "AXTextField");
    EXPECT_EQ(AtSpiNames::role(ATSPI_ROLE_TEXT, with({ATSPI_STATE_MULTI_LINE})), "AXTextArea");
    EXPECT_EQ(AtSpiNames::role(ATSPI_ROLE_COMBO_BOX, with({ATSPI_STATE_EDITABLE})), "AXComboBox")
        << "a combo box one types into holds text";
    EXPECT_EQ(AtSpiNames::role(9999, 0), "AXUnknown");

    EXPECT_EQ(AtSpiNames::subrole(ATSPI_ROLE_PASSWORD_TEXT), "AXSecureTextField");
    EXPECT_EQ(AtSpiNames::subrole(ATSPI_ROLE_TEXT), std::nullopt);
    EXPECT_TRUE(AtSpiNames::hasState(with({ATSPI_STATE_SHOWING}), ATSPI_STATE_SHOWING));
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
