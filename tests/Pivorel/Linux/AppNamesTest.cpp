#include "Pivorel/Linux/AppNames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {
void desktopFile(const fs::path& dataDir, const std::string& relative, const std::string& body) {
    const auto file = dataDir / "applications" / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << body;
}
}  // namespace

TEST(AppNames, NamesComeFromTheFirstDesktopFileInTheInterfaceLanguage) {
    test::TempDir dir;
    const auto home = dir.path() / "home", system = dir.path() / "system";
    desktopFile(system, "org.example.Editor.desktop",
                "[Desktop Entry]\nType=Application\nName=Editor\nName[zh_CN]=编辑器\n"
                "Name[zh_TW]=編輯器\nName[de]=Bearbeiter\nName[pt_BR]=Editor BR\n");
    desktopFile(system, "firefox-esr.desktop", "[Desktop Entry]\nName=Firefox ESR\n");
    desktopFile(home, "firefox-esr.desktop", "[Desktop Entry]\nName=My Firefox\n");
    desktopFile(system, "kde4/okular.desktop", "[Desktop Entry]\nName=Okular\n");
    desktopFile(home, "hidden.desktop", "[Desktop Entry]\nName=Gone\nHidden=true\n");
    desktopFile(system, "hidden.desktop", "[Desktop Entry]\nName=Masked\n");
    desktopFile(home, "noname.desktop", "[Desktop Entry]\nName=  \n");
    desktopFile(system, "noname.desktop", "[Desktop Entry]\nName=Named Lower\n");
    const std::vector<fs::path> dirs{home, system};

    EXPECT_EQ(AppNames::display("org.example.Editor", dirs, "zh-Hans"), "编辑器");
    EXPECT_EQ(AppNames::display("org.example.Editor", dirs, "zh-Hant"), "編輯器");
    EXPECT_EQ(AppNames::display("org.example.Editor", dirs, "de"), "Bearbeiter");
    EXPECT_EQ(AppNames::display("org.example.Editor", dirs, "en"), "Editor");
    EXPECT_EQ(AppNames::display(" org.example.Editor\n", dirs, "ja"), "Editor");
    EXPECT_EQ(AppNames::display("firefox-esr", dirs, "en"), "My Firefox");
    EXPECT_EQ(AppNames::display("kde4-okular", dirs, "en"), "Okular");
    EXPECT_EQ(AppNames::display("hidden", dirs, "en"), "hidden");
    EXPECT_EQ(AppNames::display("noname", dirs, "en"), "Named Lower");

    EXPECT_EQ(AppNames::display("com.example.NotInstalled", dirs, "en"),
              "com.example.NotInstalled");
    EXPECT_EQ(AppNames::display("../home/applications/firefox-esr", dirs, "en"),
              "../home/applications/firefox-esr");
    EXPECT_EQ(AppNames::display("  ", dirs, "en"), std::nullopt);
    EXPECT_EQ(AppNames::display("", dirs, "en"), std::nullopt);
}

TEST(AppNames, TheUsersDataDirectoryIsSearched) {
    const char* old = std::getenv("XDG_DATA_HOME");
    const auto data = old ? std::optional<std::string>(old) : std::nullopt;
    test::TempDir dir;
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    desktopFile(dir.path(), "org.example.Probe.desktop",
                "[Desktop Entry]\nName=Probe\nName[zh_CN]=探针\n");
    EXPECT_EQ(AppNames::display("org.example.Probe"), "探针");  // tests run in zh-Hans
    EXPECT_EQ(AppNames::display("org.example.Absent"), "org.example.Absent");

    data ? setenv("XDG_DATA_HOME", data->c_str(), 1) : unsetenv("XDG_DATA_HOME");
}
