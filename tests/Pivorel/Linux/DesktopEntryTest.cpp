#include "Pivorel/Linux/DesktopEntry.h"

#include <gtest/gtest.h>

using namespace pivorel;

TEST(DesktopEntry, ReadsGroupsLocalizedKeysAndEscapes) {
    const auto e = DesktopEntry::parse(
        "# comment\n"
        "[Desktop Entry]\r\n"
        "Type=Application\n"
        "Name = Text Editor \n"
        "Name[zh_CN]=文本编辑器\n"
        "Name[de]=Texteditor\n"
        "Name=Second\n"
        "Comment=Line\\none\\stwo\\tthree\\\\four\\x\\\n"
        "broken line\n"
        "=no key\n"
        "[Desktop Action new-window]\n"
        "Name=New Window\n"
        "Exec=gedit --new-window\n");
    EXPECT_TRUE(e.hasGroup("Desktop Entry"));
    EXPECT_TRUE(e.hasGroup("Desktop Action new-window"));
    EXPECT_EQ(e.value("Name"), "Text Editor");  // the first occurrence, blanks trimmed
    EXPECT_EQ(e.value("Comment"), "Line\none two\tthree\\four\\x\\");
    EXPECT_EQ(e.value("Exec"), std::nullopt);  // another group's key
    EXPECT_EQ(e.value("Exec", "Desktop Action new-window"), "gedit --new-window");
    EXPECT_EQ(e.localizedValue("Name", {"zh_CN", "zh"}), "文本编辑器");
    EXPECT_EQ(e.localizedValue("Name", {"de_AT", "de"}), "Texteditor");
    EXPECT_EQ(e.localizedValue("Name", {"fr"}), "Text Editor");
    EXPECT_EQ(e.localizedValue("Icon", {"fr"}), std::nullopt);
}

TEST(DesktopEntry, ToleratesAnyBytes) {
    EXPECT_FALSE(DesktopEntry::parse("").hasGroup("Desktop Entry"));
    EXPECT_EQ(DesktopEntry::parse("Name=outside any group\n").value("Name"), std::nullopt);
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry\nName=x").value("Name"), std::nullopt);
    EXPECT_EQ(DesktopEntry::parse(std::string("[Desktop Entry]\nName=a\xff\0b", 25)).value("Name"),
              std::string("a\xEF\xBF\xBD\0b", 6));
}

TEST(DesktopEntry, LocaleFallbacksFollowTheKeyFileOrder) {
    EXPECT_EQ(DesktopEntry::localeFallbacks("sr_YU.UTF-8@Latn"),
              (std::vector<std::string>{"sr_YU@Latn", "sr_YU", "sr@Latn", "sr"}));
    EXPECT_EQ(DesktopEntry::localeFallbacks("zh_TW"), (std::vector<std::string>{"zh_TW", "zh"}));
    EXPECT_EQ(DesktopEntry::localeFallbacks("en"), (std::vector<std::string>{"en"}));
    EXPECT_TRUE(DesktopEntry::localeFallbacks("").empty());
}
