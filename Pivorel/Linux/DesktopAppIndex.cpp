#include "Pivorel/Linux/DesktopAppIndex.h"

#include <algorithm>
#include <cctype>

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Text.h"
#include "Pivorel/Linux/AppNames.h"
#include "Pivorel/Linux/DesktopEntry.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t maxDesktopFileBytes = 1u << 20;
constexpr std::size_t maxDesktopFiles = 20000;
// A window whose application is not indexed may belong to one installed since: look again,
// but not more often than this.
constexpr auto rebuildInterval = std::chrono::seconds(30);

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::optional<std::string> nonEmpty(const std::optional<std::string>& s) {
    if (!s) return std::nullopt;
    std::string t = text::trim(text::repairUtf8(*s));
    if (t.empty()) return std::nullopt;
    return t;
}

// "org.kde.dolphin.desktop" and "org.kde.dolphin" name the same file.
std::string withoutSuffix(std::string id) {
    constexpr std::string_view suffix = ".desktop";
    if (id.size() > suffix.size() && id.ends_with(suffix)) id.resize(id.size() - suffix.size());
    return id;
}

}  // namespace

DesktopAppIndex::DesktopAppIndex() : DesktopAppIndex(AppNames::dataDirectories()) {}

DesktopAppIndex::DesktopAppIndex(std::vector<fs::path> dataDirs) : dataDirs_(std::move(dataDirs)) {}

DesktopAppIndex::Index DesktopAppIndex::build() const {
    Index out;
    std::set<std::string> seen;  // ids already decided by an earlier directory
    std::size_t files = 0;
    for (const auto& dir : dataDirs_) {
        const fs::path apps = dir / "applications";
        std::error_code ec;
        if (!fs::is_directory(apps, ec)) continue;
        fs::recursive_directory_iterator it(apps, fs::directory_options::skip_permission_denied,
                                            ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (++files > maxDesktopFiles) break;
            const fs::path& path = it->path();
            if (path.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
            // The id of "kde4/foo.desktop" is "kde4-foo".
            std::string id = fs::relative(path, apps, ec).replace_extension().generic_string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (id.empty() || !seen.insert(id).second) continue;
            const auto bytes = fileio::readFile(path, maxDesktopFileBytes);
            if (!bytes) continue;
            const auto entry = DesktopEntry::parse(*bytes);
            // A hidden entry stands for a deleted one and masks the id further down.
            if (entry.value("Hidden") == "true") continue;
            out.ids.insert(id);
            out.idsByLowerName.emplace(lower(id), id);
            if (auto wmClass = nonEmpty(entry.value("StartupWMClass"))) {
                out.idsByLowerWMClass.emplace(lower(*wmClass), id);
            }
            const auto categories = ";" + entry.value("Categories").value_or("") + ";";
            if (categories.find(";TerminalEmulator;") != std::string::npos) {
                out.terminals.insert(id);
            }
        }
    }
    return out;
}

const DesktopAppIndex::Index& DesktopAppIndex::index(bool allowRebuild) {
    const auto now = std::chrono::steady_clock::now();
    if (!index_ || (allowRebuild && now - builtAt_ > rebuildInterval)) {
        index_ = build();
        builtAt_ = now;
    }
    return *index_;
}

bool DesktopAppIndex::hasDesktopFile(const std::string& id) {
    std::lock_guard lock(mutex_);
    return index(false).ids.contains(withoutSuffix(id));
}

bool DesktopAppIndex::isTerminal(const std::string& id) {
    std::lock_guard lock(mutex_);
    return index(false).terminals.contains(withoutSuffix(id));
}

std::optional<std::string> DesktopAppIndex::resolve(const WindowHints& hints) {
    const auto gtk = nonEmpty(hints.gtkApplicationID);
    const auto kde = nonEmpty(hints.kdeDesktopFile);
    const auto instance = nonEmpty(hints.instance);
    const auto klass = nonEmpty(hints.klass);
    if (!gtk && !kde && !instance && !klass) return std::nullopt;

    std::lock_guard lock(mutex_);
    for (bool rebuilt : {false, true}) {
        const Index& idx = index(rebuilt);
        for (const auto& named : {gtk, kde}) {
            if (named && idx.ids.contains(withoutSuffix(*named))) return withoutSuffix(*named);
        }
        for (const auto& name : {klass, instance}) {
            if (!name) continue;
            if (auto it = idx.idsByLowerWMClass.find(lower(*name));
                it != idx.idsByLowerWMClass.end()) {
                return it->second;
            }
        }
        for (const auto& name : {instance, klass}) {
            if (!name) continue;
            if (auto it = idx.idsByLowerName.find(lower(*name)); it != idx.idsByLowerName.end()) {
                return it->second;
            }
        }
    }
    return klass ? klass : instance;
}

}  // namespace pivorel
