#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pivorel {

// Display names of applications, from their installed desktop files. An application's
// identifier is its desktop-file id without ".desktop" ("org.gnome.Terminal", "firefox-esr").
struct AppNames {
    AppNames() = delete;

    // The Name of the desktop file "<bundleID>.desktop", in the interface language where the
    // file has it; the trimmed identifier itself when no installed file names it; nothing
    // for an identifier that is empty after trimming.
    static std::optional<std::string> display(std::string_view bundleID);

    // The same over explicit data directories (each holding "applications/") and interface
    // language ("zh-Hans", "en", ...).
    static std::optional<std::string> display(std::string_view bundleID,
                                              const std::vector<std::filesystem::path>& dataDirs,
                                              std::string_view language);

    // Where desktop files are looked for: the user's data directory, then the system's.
    static std::vector<std::filesystem::path> dataDirectories();

    // The desktop-file locales to try for an interface language, best first.
    static std::vector<std::string> desktopLocales(std::string_view language);
};

}  // namespace pivorel
