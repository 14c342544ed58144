#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/AppNames.h"
#include "Pivorel/Linux/AutostartLoginItem.h"
#include "Pivorel/Linux/DesktopAppIndex.h"
#include "Pivorel/Linux/DesktopEntry.h"
#include "Pivorel/Linux/LinuxDesktopTargets.h"
#include "Pivorel/Linux/TerminalApps.h"
#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;
using std::nullopt;

namespace {

void install(const fs::path& dataDir, const std::string& relative, const std::string& body) {
    const auto file = dataDir / "applications" / relative;
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

DesktopEntry readEntry(const fs::path& file) {
    return DesktopEntry::parse(fileio::readFile(file, 1 << 20).value_or(""));
}

}  // namespace

TEST(DesktopEntry, ReadsGroupsLocalizedKeysAndEscapes) {
    const auto e = DesktopEntry::parse(
        "# comment\n[Desktop Entry]\r\nType=Application\nName = Text Editor \n"
        "Name[zh_CN]=文本编辑器\nName[de]=Texteditor\nName=Second\n"
        "Comment=Line\\none\\stwo\\tthree\\\\four\\x\\\nbroken line\n=no key\n"
        "[Desktop Action new-window]\nName=New Window\nExec=gedit --new-window\n");
    EXPECT_TRUE(e.hasGroup("Desktop Entry"));
    EXPECT_TRUE(e.hasGroup("Desktop Action new-window"));
    EXPECT_EQ(e.value("Name"), "Text Editor");  // the first occurrence, blanks trimmed
    EXPECT_EQ(e.value("Comment"), "Line\none two\tthree\\four\\x\\");
    EXPECT_EQ(e.value("Exec"), nullopt);  // another group's key
    EXPECT_EQ(e.value("Exec", "Desktop Action new-window"), "gedit --new-window");
    EXPECT_EQ(e.localizedValue("Name", {"zh_CN", "zh"}), "文本编辑器");
    EXPECT_EQ(e.localizedValue("Name", {"de_AT", "de"}), "Texteditor");
    EXPECT_EQ(e.localizedValue("Name", {"fr"}), "Text Editor");
    EXPECT_EQ(e.localizedValue("Icon", {"fr"}), nullopt);

    EXPECT_FALSE(DesktopEntry::parse("").hasGroup("Desktop Entry"));
    EXPECT_EQ(DesktopEntry::parse("Name=outside any group\n").value("Name"), nullopt);
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry\nName=x").value("Name"), nullopt);
    EXPECT_EQ(DesktopEntry::parse(std::string("[Desktop Entry]\nName=a\xff\0b", 25)).value("Name"),
              std::string("a\xEF\xBF\xBD\0b", 6));

    EXPECT_EQ(DesktopEntry::localeFallbacks("sr_YU.UTF-8@Latn"),
              (std::vector<std::string>{"sr_YU@Latn", "sr_YU", "sr@Latn", "sr"}));
}

TEST(DesktopAppIndex, NamesWindowsByTheirInstalledDesktopFiles) {
    test::TempDir tmp;
    const auto user = tmp.path() / "user", system = tmp.path() / "system";
    install(system, "org.gnome.TextEditor.desktop", "Name=Text Editor\n");
    install(system, "debian-xterm.desktop", "Name=XTerm\nStartupWMClass=XTerm\n");
    install(system, "firefox-esr.desktop", "Name=Firefox ESR\n");
    install(system, "kde4/okular.desktop", "Name=Okular\n");
    install(system, "hidden-app.desktop", "Name=Hidden\n");
    install(user, "hidden-app.desktop", "Hidden=true\n");
    install(user, "editor.desktop", "Name=Mine\nStartupWMClass=MyEditor\n");
    install(system, "editor.desktop", "Name=Theirs\nStartupWMClass=TheirEditor\n");
    std::ofstream(system / "applications" / "broken.desktop") << "\xff\xfe garbage [[[";
    std::ofstream(system / "applications" / "notes.txt") << "[Desktop Entry]\n";
    DesktopAppIndex index({user, tmp.path() / "missing", system});

    const std::vector<std::pair<DesktopAppIndex::WindowHints, std::optional<std::string>>> cases{
        {hints("org.gnome.TextEditor", "gnome-text-editor", "Gnome-text-editor"),
         "org.gnome.TextEditor"},
        {hints(nullopt, "xterm", "XTerm"), "debian-xterm"},  // StartupWMClass beats the name
        {hints(nullopt, "Navigator", "firefox-esr"), "firefox-esr"},
        {hints(nullopt, "FIREFOX-ESR", nullopt), "firefox-esr"},      // case ignored
        {hints(nullopt, "kde4-okular", "Okular"), "kde4-okular"},     // subfolder in the id
        {hints("org.example.NotInstalled", "tool", "Tool"), "Tool"},  // else the class
        {hints(nullopt, "hidden-app", "Hidden-app"), "Hidden-app"},   // masked by the user's
        {hints(nullopt, "lonely", nullopt), "lonely"},
        {hints(nullopt, "  ", ""), nullopt},
        {{}, nullopt},
        {hints(nullopt, "x", "MyEditor"), "editor"},
        {hints(nullopt, "x", "TheirEditor"), "TheirEditor"},  // a masked file names nothing
        {hints(nullopt, "broken", "Broken"), "broken"},       // no desktop group, still an id
        {hints(nullopt, "notes", "Notes"), "Notes"},
    };
    for (const auto& [h, expected] : cases)
        EXPECT_EQ(index.resolve(h), expected) << h.instance.value_or("-");
    DesktopAppIndex::WindowHints kde;
    kde.kdeDesktopFile = "firefox-esr.desktop";
    EXPECT_EQ(index.resolve(kde), "firefox-esr");
    EXPECT_TRUE(index.hasDesktopFile("debian-xterm"));
    EXPECT_FALSE(index.hasDesktopFile("hidden-app"));
}

TEST(AppNames, NamesComeFromTheFirstDesktopFileInTheInterfaceLanguage) {
    test::TempDir dir;
    const auto home = dir.path() / "home", system = dir.path() / "system";
    install(system, "org.example.Editor.desktop",
            "Name=Editor\nName[zh_CN]=编辑器\nName[zh_TW]=編輯器\nName[de]=Bearbeiter\n"
            "Name[pt_BR]=Editor BR\n");
    install(system, "firefox-esr.desktop", "Name=Firefox ESR\n");
    install(home, "firefox-esr.desktop", "Name=My Firefox\n");
    install(system, "kde4/okular.desktop", "Name=Okular\n");
    install(home, "hidden.desktop", "Name=Gone\nHidden=true\n");
    install(system, "hidden.desktop", "Name=Masked\n");
    install(home, "noname.desktop", "Name=  \n");
    install(system, "noname.desktop", "Name=Named Lower\n");
    const std::vector<fs::path> dirs{home, system};
    const std::vector<std::tuple<const char*, const char*, std::optional<std::string>>> cases{
        {"org.example.Editor", "zh-Hans", "编辑器"},
        {"org.example.Editor", "zh-Hant", "編輯器"},
        {"org.example.Editor", "de", "Bearbeiter"},
        {"org.example.Editor", "en", "Editor"},
        {" org.example.Editor\n", "ja", "Editor"},
        {"firefox-esr", "en", "My Firefox"},
        {"kde4-okular", "en", "Okular"},
        {"hidden", "en", "hidden"},
        {"noname", "en", "Named Lower"},
        {"com.example.NotInstalled", "en", "com.example.NotInstalled"},
        {"../home/applications/firefox-esr", "en", "../home/applications/firefox-esr"},
        {"  ", "en", nullopt},
        {"", "en", nullopt}};
    for (const auto& [id, language, expected] : cases)
        EXPECT_EQ(AppNames::display(id, dirs, language), expected) << id << " " << language;
}

TEST(TerminalApps, InstalledTerminalEmulatorsAndTheWindowClassesKnownAlone) {
    test::TempDir data;
    install(data.path(), "org.gnome.Terminal.desktop",
            "Categories=GNOME;GTK;System;TerminalEmulator;\n");
    install(data.path(), "debian-xterm.desktop",
            "StartupWMClass=XTerm\nCategories=System;TerminalEmulator\n");
    install(data.path(), "code.desktop", "Categories=Development;IDE;\n");
    install(data.path(), "launcher.desktop", "Categories=Utility;TerminalEmulatorLauncher;\n");
    DesktopAppIndex apps({data.path()});

    EXPECT_TRUE(TerminalApps::isTerminal(apps, "org.gnome.Terminal"));
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "debian-xterm"));
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "code"));
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "launcher")) << "categories are whole words";
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "kitty")) << "not installed here";
    // Windows no desktop file names keep their WM_CLASS as the identifier.
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "XTerm"));
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "URxvt", "urxvt", "URxvt"));
    EXPECT_TRUE(TerminalApps::isTerminal(apps, "some-launcher-id", nullopt, "st-256color"));
    EXPECT_FALSE(TerminalApps::isTerminal(apps, "xterm2"));
    EXPECT_FALSE(TerminalApps::isTerminal(apps, nullopt, nullopt, nullopt));
}

TEST(AutostartLoginItem, SwitchingOnWritesAnEntryAndOffRemovesOrMasksIt) {
    test::TempDir dir;
    AutostartLoginItem item(dir.path() / "config/autostart", {}, "/usr/bin/pivorel");
    EXPECT_FALSE(item.isEnabled());
    ASSERT_TRUE(item.set(true));
    EXPECT_TRUE(item.isEnabled());
    const auto entry = readEntry(item.userFile());
    EXPECT_EQ(item.userFile().filename(), "pivorel.desktop");
    EXPECT_EQ(entry.value("Type"), "Application");
    EXPECT_EQ(entry.value("Exec"), "/usr/bin/pivorel");
    EXPECT_EQ(entry.value("Hidden"), nullopt);
    ASSERT_TRUE(item.set(false));
    EXPECT_FALSE(fs::exists(item.userFile()));
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(item.set(false));  // already off

    // An entry the user (or another tool) switched off stays off.
    for (const char* off : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        std::ofstream(item.userFile()) << "[Desktop Entry]\nType=Application\nExec=pivorel\n"
                                       << off;
        EXPECT_FALSE(item.isEnabled()) << off;
    }
    std::ofstream(item.userFile()) << "not a desktop entry\n";
    EXPECT_FALSE(item.isEnabled());

    // A system-wide entry is masked by a hidden user entry, and never touched.
    const fs::path system = dir.path() / "xdg/autostart";
    fs::create_directories(system);
    std::ofstream(system / "pivorel.desktop") << "[Desktop Entry]\nType=Application\nExec=x\n";
    AutostartLoginItem masked(dir.path() / "user", {system}, "/usr/bin/pivorel");
    EXPECT_TRUE(masked.isEnabled());
    ASSERT_TRUE(masked.set(false));
    EXPECT_EQ(readEntry(masked.userFile()).value("Hidden"), "true");
    EXPECT_FALSE(masked.isEnabled());
    EXPECT_TRUE(fs::exists(system / "pivorel.desktop"));
    ASSERT_TRUE(masked.set(true));
    EXPECT_TRUE(masked.isEnabled());
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

// A recording script stands in for each dictionary, so no dictionary window comes up; the
// real GoldenDict is only found.
TEST(LinuxDesktopTargets, TheLookUpStartsTheFirstInstalledDictionaryWithTheText) {
    test::TempDir dir;
    const fs::path bin = dir.path() / "my bin", data = dir.path() / "data";
    const fs::path out = dir.path() / "argv";
    fs::create_directories(bin);
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", bin.c_str(), 1);
    const struct {
        std::string program;
        bool desktopFile;
        std::string text;
        std::string argv;  // one argument a line
    } cases[] = {
        // By its desktop file: the program quoted, its own option kept, the field code not.
        {"gnome-dictionary", true, "词典", "--new-window\n--look-up=词典\n"},
        // By PATH alone, and before GNOME Dictionary; a word like an option stays a word.
        {"goldendict", false, "-v", " -v\n"},
    };
    for (const auto& c : cases) {
        std::ofstream(bin / c.program)
            << "#!/bin/sh\nprintf '%s\\n' \"$@\" >'" << out.string() << ".part' && /bin/mv '"
            << out.string() << ".part' '" << out.string() << "'\n";
        fs::permissions(bin / c.program, fs::perms::owner_all);
        if (c.desktopFile) {
            install(data, "org.gnome.Dictionary.desktop",
                    "Exec=\"" + (bin / c.program).string() + "\" --new-window %U\n");
        }
        fs::remove(out);
        ASSERT_TRUE(LinuxDesktopTargets({data}).lookUp(c.text)) << c.program;
        for (int i = 0; i < 1000 && !fs::exists(out); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(test::readText(out), c.argv) << c.program;
    }
    fs::remove_all(bin);
    EXPECT_FALSE(LinuxDesktopTargets({data}).lookUp("word")) << "nothing installed";
    ::setenv("PATH", path.c_str(), 1);

    LinuxDesktopTargets here;
    EXPECT_TRUE(here.presence().dictionary);
    const auto found = here.findDictionary();
    ASSERT_TRUE(found) << "goldendict is not installed (scripts/install-deps installs it)";
    EXPECT_EQ(fs::path(found->command.at(0)).filename(), "goldendict");
}
