#include "Pivorel/Linux/AppNames.h"

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/XdgDirs.h"
#include "Pivorel/Linux/DesktopEntry.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t maxDesktopFileBytes = 1u << 20;

// Where a desktop-file id may live under an "applications" directory: the id as a file
// name, and the older form where "kde4-foo" is "kde4/foo.desktop".
std::vector<fs::path> candidatePaths(const std::string& id) {
    std::vector<fs::path> out{id + ".desktop"};
    std::string nested = id;
    for (std::size_t pos = nested.find('-'); pos != std::string::npos;
         pos = nested.find('-', pos + 1)) {
        nested[pos] = '/';
        out.emplace_back(nested + ".desktop");
    }
    return out;
}

enum class Lookup { notFound, hidden, found };

Lookup nameIn(const fs::path& file, const std::vector<std::string>& locales, std::string& name) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return Lookup::notFound;
    const auto bytes = fileio::readFile(file, maxDesktopFileBytes);
    if (!bytes) return Lookup::notFound;
    const auto entry = DesktopEntry::parse(*bytes);
    // A hidden entry stands for a deleted one and masks the same id further down the path.
    if (entry.value("Hidden") == "true") return Lookup::hidden;
    const auto localized = entry.localizedValue("Name", locales);
    if (!localized) return Lookup::notFound;
    const std::string trimmed = text::trim(*localized);
    if (trimmed.empty()) return Lookup::notFound;
    name = trimmed;
    return Lookup::found;
}

}  // namespace

std::vector<fs::path> AppNames::dataDirectories() {
    std::vector<fs::path> dirs{XdgDirs::dataHome()};
    for (auto& dir : XdgDirs::dataDirs()) dirs.push_back(std::move(dir));
    return dirs;
}

std::vector<std::string> AppNames::desktopLocales(std::string_view language) {
    std::string posix;
    if (language == "zh-Hans") {
        posix = "zh_CN";
    } else if (language == "zh-Hant") {
        posix = "zh_TW";
    } else {
        posix = std::string(language.substr(0, language.find('-')));
    }
    return DesktopEntry::localeFallbacks(posix);
}

std::optional<std::string> AppNames::display(std::string_view bundleID) {
    return display(bundleID, dataDirectories(), Localizer::effectiveLanguage());
}

std::optional<std::string> AppNames::display(std::string_view bundleID,
                                             const std::vector<fs::path>& dataDirs,
                                             std::string_view language) {
    const std::string id = text::trim(bundleID);
    if (id.empty()) return std::nullopt;
    // Desktop-file ids never hold a path separator; such an identifier names no file.
    if (id.find('/') != std::string::npos || id.find('\0') != std::string::npos) return id;
    const auto locales = desktopLocales(language);
    const auto candidates = candidatePaths(id);
    for (const auto& dir : dataDirs) {
        for (const auto& candidate : candidates) {
            std::string name;
            switch (nameIn(dir / "applications" / candidate, locales, name)) {
                case Lookup::found:
                    return name;
                case Lookup::hidden:
                    return id;
                case Lookup::notFound:
                    break;
            }
        }
    }
    return id;
}

}  // namespace pivorel
