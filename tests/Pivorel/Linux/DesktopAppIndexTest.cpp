#include "Pivorel/Linux/DesktopAppIndex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {

void desktopFile(const fs::path& dataDir, const std::string& relative, const std::string& body) {
    const fs::path file = dataDir / "applications" / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "[Desktop Entry]\nType=Application\n" << body;
}

DesktopAppIndex::WindowHints hints(std::optional<std::string> gtk,
                                   std::optional<std::string> instance,
                                   std::optional<std::string> klass) {
    DesktopAppIndex::WindowHints h;
    h.gtkApplicationID = std::move(gtk);
    h.instance = std::move(instance);
    h.klass = std::move(klass);
    return h;
}

}  // namespace

TEST(DesktopAppIndex, NamesWindowsByTheirInstalledDesktopFiles) {
    test::TempDir user, system;
    desktopFile(system.path(), "org.gnome.TextEditor.desktop", "Name=Text Editor\n");
    desktopFile(system.path(), "debian-xterm.desktop", "Name=XTerm\nStartupWMClass=XTerm\n");
    desktopFile(system.path(), "firefox-esr.desktop", "Name=Firefox ESR\n");
    desktopFile(system.path(), "kde4/okular.desktop", "Name=Okular\n");
    desktopFile(system.path(), "hidden-app.desktop", "Name=Hidden\n");
    desktopFile(user.path(), "hidden-app.desktop", "Hidden=true\n");
    DesktopAppIndex index({user.path(), system.path()});

    EXPECT_EQ(
        index.resolve(hints("org.gnome.TextEditor", "gnome-text-editor", "Gnome-text-editor")),
        "org.gnome.TextEditor")
        << "the GTK application id";
    EXPECT_EQ(index.resolve(hints(std::nullopt, "xterm", "XTerm")), "debian-xterm")
        << "StartupWMClass beats a guess from the name";
    EXPECT_EQ(index.resolve(hints(std::nullopt, "Navigator", "firefox-esr")), "firefox-esr");
    EXPECT_EQ(index.resolve(hints(std::nullopt, "FIREFOX-ESR", std::nullopt)), "firefox-esr")
        << "window classes are matched ignoring case";
    EXPECT_EQ(index.resolve(hints(std::nullopt, "kde4-okular", "Okular")), "kde4-okular")
        << "a file in a subfolder has the folder in its id";
    EXPECT_EQ(index.resolve(hints("org.example.NotInstalled", "tool", "Tool")), "Tool")
        << "no desktop file: the window class";
    EXPECT_EQ(index.resolve(hints(std::nullopt, "hidden-app", "Hidden-app")), "Hidden-app")
        << "a hidden entry in an earlier directory masks the later one";
    EXPECT_EQ(index.resolve(hints(std::nullopt, "lonely", std::nullopt)), "lonely");
    EXPECT_EQ(index.resolve(hints(std::nullopt, "  ", "")), std::nullopt);
    EXPECT_EQ(index.resolve({}), std::nullopt);

    DesktopAppIndex::WindowHints kde;
    kde.kdeDesktopFile = "firefox-esr.desktop";
    EXPECT_EQ(index.resolve(kde), "firefox-esr");
    EXPECT_TRUE(index.hasDesktopFile("debian-xterm"));
    EXPECT_FALSE(index.hasDesktopFile("hidden-app"));
}

TEST(DesktopAppIndex, EarlierDirectoriesWinAndBrokenFilesAreSkipped) {
    test::TempDir user, system;
    desktopFile(user.path(), "editor.desktop", "Name=Mine\nStartupWMClass=MyEditor\n");
    desktopFile(system.path(), "editor.desktop", "Name=Theirs\nStartupWMClass=TheirEditor\n");
    fs::create_directories(system.path() / "applications");
    std::ofstream(system.path() / "applications" / "broken.desktop") << "\xff\xfe garbage [[[";
    std::ofstream(system.path() / "applications" / "notes.txt") << "[Desktop Entry]\n";
    DesktopAppIndex index({user.path(), system.path() / "missing", system.path()});

    EXPECT_EQ(index.resolve(hints(std::nullopt, "x", "MyEditor")), "editor");
    EXPECT_EQ(index.resolve(hints(std::nullopt, "x", "TheirEditor")), "TheirEditor")
        << "the masked file's window class names nothing";
    EXPECT_EQ(index.resolve(hints(std::nullopt, "broken", "Broken")), "broken")
        << "a file without a desktop group still has an id";
    EXPECT_EQ(index.resolve(hints(std::nullopt, "notes", "Notes")), "Notes");
}
