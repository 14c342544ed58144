#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

namespace pivorel {

// How the program names itself, and where its data lives. Constants and a lookup; no state.
struct AppIdentity {
    AppIdentity() = delete;

    static constexpr std::string_view productName = "Pivorel";
    static constexpr std::string_view contactEmail = "support@pivorel.app";
    static constexpr std::string_view bundleID = "com.morvale.pivorel";
    // The former product's identifier, also its user-defaults domain.
    static constexpr std::string_view legacyBundleID = "com.morvale.brisendo";
    static constexpr std::string_view supportDirName = "Pivorel";
    static constexpr std::string_view legacySupportDirName = "Brisendo";
    static constexpr std::string_view databaseFileName = "pivorel.sqlite";
    static constexpr std::string_view legacyDatabaseFileName = "brisendo.sqlite";
    // Schemes of the links the program accepts.
    static constexpr std::array<std::string_view, 2> urlSchemes{"pivorel", "brisendo"};

    // The directory every data file lives in: `base` (or the user's data directory,
    // XdgDirs::dataHome()) followed by supportDirName. The directory is created; a failure to
    // create it is left for whoever opens a file there to notice.
    static std::filesystem::path supportDirectory(
        const std::optional<std::filesystem::path>& base = std::nullopt);
};

}  // namespace pivorel
