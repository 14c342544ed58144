#include "BrisendoKit/Storage/HotKeySpec.h"

#include <gtest/gtest.h>

#include <set>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/KeyCodes.h"

using namespace pivorel;

TEST(HotKeySpec, ValidityNeedsCommandOptionOrControl) {
    EXPECT_TRUE(HotKeySpec::defaultSpec().isValid());
    EXPECT_FALSE((HotKeySpec{45, 0}).isValid());
    EXPECT_FALSE((HotKeySpec{45, HotKeySpec::shift}).isValid());
    EXPECT_TRUE((HotKeySpec{45, 768}).isValid());
    EXPECT_FALSE((HotKeySpec{45, 0x4000}).isValid());  // an unknown bit is no modifier
}

TEST(HotKeySpec, DisplayOrdersModifiersAndNamesTheKey) {
    EXPECT_EQ(HotKeySpec::defaultSpec().display(), "⌃⌥N");
    EXPECT_EQ((HotKeySpec{45, 768}).display(), "⇧⌘N");
    EXPECT_EQ((HotKeySpec{42, 0x1b00}).display(), "⌃⌥⇧⌘\\");
    EXPECT_EQ((HotKeySpec{50, HotKeySpec::cmd}).display(), "⌘`");
    EXPECT_EQ((HotKeySpec{111, 0}).display(), "F12");
    EXPECT_EQ((HotKeySpec{49, HotKeySpec::control}).display(), "⌃空格");
    EXPECT_EQ((HotKeySpec{200, HotKeySpec::control}).display(), "⌃键200");

    Localizer::setLanguageOverride("en");
    EXPECT_EQ((HotKeySpec{49, HotKeySpec::option}).display(), "⌥Space");
    EXPECT_EQ((HotKeySpec{4294967295u, 0}).display(), "Key 4294967295");
    Localizer::setLanguageOverride("zh-Hans");
}

TEST(KeyCodes, EveryNamedKeyRoundTripsThroughItsKeysym) {
    std::set<std::uint32_t> keysyms;
    for (const auto& [code, name] : HotKeySpec::keyNames()) {
        const auto keysym = KeyCodes::keysymForKeyCode(code);
        ASSERT_TRUE(keysym) << name;
        EXPECT_TRUE(keysyms.insert(*keysym).second) << name;
        EXPECT_EQ(KeyCodes::keyCodeForKeysym(*keysym), code) << name;
    }
    EXPECT_EQ(KeyCodes::keysymForKeyCode(45), 0x6eu);    // XK_n
    EXPECT_EQ(KeyCodes::keyCodeForKeysym(0xff8d), 76u);  // keypad Enter
    EXPECT_EQ(KeyCodes::keyCodeForKeysym('N'), 45u);
    EXPECT_EQ(KeyCodes::keyCodeForKeysym('!'), 18u);
    EXPECT_EQ(KeyCodes::keyCodeForKeysym('~'), 50u);
    EXPECT_EQ(KeyCodes::keyCodeForKeysym(0xfe20), 48u);  // shift+Tab
    EXPECT_EQ(KeyCodes::keysymForKeyCode(200), std::nullopt);
    EXPECT_EQ(KeyCodes::keyCodeForKeysym(0xffe1), std::nullopt);  // Shift_L itself
}
