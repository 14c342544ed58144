#include "Pivorel/Linux/AutostartLoginItem.h"

#include <gtest/gtest.h>

#include <fstream>

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/DesktopEntry.h"
#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {

DesktopEntry readEntry(const fs::path& file) {
    return DesktopEntry::parse(fileio::readFile(file, 1 << 20).value_or(""));
}

}  // namespace

TEST(AutostartLoginItem, SwitchingOnWritesAnEntryThatStartsTheProgramAndOffRemovesIt) {
    test::TempDir dir;
    AutostartLoginItem item(dir.path() / "config/autostart", {}, "/usr/bin/pivorel");
    EXPECT_FALSE(item.isEnabled());

    ASSERT_TRUE(item.set(true));
    EXPECT_TRUE(item.isEnabled());
    const auto entry = readEntry(item.userFile());
    EXPECT_EQ(item.userFile().filename(), "pivorel.desktop");
    EXPECT_EQ(entry.value("Type"), "Application");
    EXPECT_EQ(entry.value("Exec"), "/usr/bin/pivorel");
    EXPECT_EQ(entry.value("Hidden"), std::nullopt);

    ASSERT_TRUE(item.set(false));
    EXPECT_FALSE(fs::exists(item.userFile()));
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(item.set(false));  // already off

    // An entry the user (or another tool) switched off stays off.
    fs::create_directories(item.userFile().parent_path());
    std::ofstream(item.userFile())
        << "[Desktop Entry]\nType=Application\nExec=pivorel\nHidden=true\n";
    EXPECT_FALSE(item.isEnabled());
    std::ofstream(item.userFile())
        << "[Desktop Entry]\nType=Application\nExec=pivorel\nX-GNOME-Autostart-enabled=false\n";
    EXPECT_FALSE(item.isEnabled());
    std::ofstream(item.userFile()) << "not a desktop entry\n";
    EXPECT_FALSE(item.isEnabled());
}

TEST(AutostartLoginItem, ASystemWideEntryIsMaskedByAHiddenUserEntry) {
    test::TempDir dir;
    const fs::path system = dir.path() / "xdg/autostart";
    fs::create_directories(system);
    std::ofstream(system / "pivorel.desktop")
        << "[Desktop Entry]\nType=Application\nExec=pivorel\n";
    AutostartLoginItem item(dir.path() / "user", {dir.path() / "missing", system},
                            "/usr/bin/pivorel");
    EXPECT_TRUE(item.isEnabled());

    ASSERT_TRUE(item.set(false));
    EXPECT_EQ(readEntry(item.userFile()).value("Hidden"), "true");
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(fs::exists(system / "pivorel.desktop"));  // never touched

    ASSERT_TRUE(item.set(true));
    EXPECT_EQ(readEntry(item.userFile()).value("Hidden"), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
}

TEST(AutostartLoginItem, ExecQuotesWhatTheLauncherWouldSplitAndAFailureIsLogged) {
    EXPECT_EQ(AutostartLoginItem::execArgument("/opt/pivorel/bin/pivorel"),
              "/opt/pivorel/bin/pivorel");
    // Quoted for the space, "%" doubled, the inner backslash escaped for both layers.
    EXPECT_EQ(AutostartLoginItem::execArgument("/opt/My Apps/p%1"), "\"/opt/My Apps/p%%1\"");
    EXPECT_EQ(AutostartLoginItem::execArgument("/a\\b$c"), "\"/a\\\\\\\\b\\\\$c\"");

    test::TempDir dir;
    std::ofstream(dir.path() / "plain-file") << "x";
    AutostartLoginItem item(dir.path() / "plain-file/autostart", {}, "/usr/bin/pivorel");
    LogCapture log;
    EXPECT_FALSE(item.set(true));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Pivorel: 开机自启设置失败 ", 0), 0u);
    EXPECT_FALSE(item.isEnabled());
}
