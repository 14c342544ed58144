#include "Pivorel/Linux/AutostartLoginItem.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/XdgDirs.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/DesktopEntry.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t maxEntryBytes = 1u << 20;

std::vector<fs::path> systemAutostartDirectories() {
    auto dirs = XdgDirs::configDirs();
    for (auto& dir : dirs) dir /= "autostart";
    return dirs;
}

fs::path currentExecutable() {
    auto self = ChildProcess::ownExecutable();
    return self ? self.value() : fs::path("pivorel");
}

}  // namespace

AutostartLoginItem::AutostartLoginItem(fs::path userDirectory,
                                       std::vector<fs::path> systemDirectories, fs::path executable)
    : userFile_(std::move(userDirectory) / fileName), executable_(std::move(executable)) {
    for (auto& dir : systemDirectories) systemFiles_.push_back(dir / fileName);
}

AutostartLoginItem::AutostartLoginItem()
    : AutostartLoginItem(XdgDirs::configHome() / "autostart", systemAutostartDirectories(),
                         currentExecutable()) {}

bool AutostartLoginItem::entryEnabled(const fs::path& file, bool& exists) {
    exists = false;
    const auto bytes = fileio::readFile(file, maxEntryBytes);
    if (!bytes) return false;
    exists = true;
    const auto entry = DesktopEntry::parse(*bytes);
    if (!entry.hasGroup(DesktopEntry::mainGroup)) return false;
    if (entry.value("Hidden") == "true") return false;
    if (entry.value("X-GNOME-Autostart-enabled") == "false") return false;
    return true;
}

bool AutostartLoginItem::isEnabled() {
    bool exists = false;
    const bool enabled = entryEnabled(userFile_, exists);
    // The user's entry, whatever it says, takes the place of the system's.
    if (exists) return enabled;
    for (const auto& file : systemFiles_) {
        const bool systemEnabled = entryEnabled(file, exists);
        if (exists) return systemEnabled;
    }
    return false;
}

bool AutostartLoginItem::set(bool enabled) {
    const auto result = apply(enabled);
    if (!result) {
        Log::write("Pivorel: 开机自启设置失败 " + result.error());
        return false;
    }
    return true;
}

Result<bool, std::string> AutostartLoginItem::apply(bool enabled) {
    bool systemEntry = false;
    for (const auto& file : systemFiles_) {
        bool exists = false;
        if (entryEnabled(file, exists)) systemEntry = true;
        if (exists) break;
    }
    if (!enabled && !systemEntry) {
        std::error_code ec;
        fs::remove(userFile_, ec);
        if (ec) return fail("cannot remove " + userFile_.string() + ": " + ec.message());
        return true;
    }
    std::error_code ec;
    fs::create_directories(userFile_.parent_path(), ec);
    if (ec && !fs::is_directory(userFile_.parent_path())) {
        return fail("cannot create " + userFile_.parent_path().string() + ": " + ec.message());
    }
    errno = 0;
    if (!fileio::writeFileAtomically(userFile_, entryText(executable_, !enabled),
                                     fileio::Access::everyone)) {
        const int saved = errno;
        return fail("cannot write " + userFile_.string() +
                    (saved ? ": " + std::string(std::strerror(saved)) : std::string()));
    }
    return true;
}

std::string AutostartLoginItem::execArgument(const std::string& path) {
    bool plain = !path.empty();
    for (const char c : path) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '_' || c == '-' ||
                          c == '+' || c == ',' || c == ':' || c == '@';
        if (!safe) plain = false;
    }
    std::string quoted;
    if (plain) {
        quoted = path;
    } else {
        // Inside quotes, " ` $ and \ take a backslash.
        quoted = "\"";
        for (const char c : path) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    // The key-file layer unescapes "\\" before the Exec line is split, and "%" starts a
    // field code.
    std::string out;
    for (const char c : quoted) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '%') {
            out += "%%";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string AutostartLoginItem::entryText(const fs::path& executable, bool hidden) {
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=" + std::string(AppIdentity::productName) + "\n";
    text += "Exec=" + execArgument(executable.string()) + "\n";
    text += "Icon=pivorel\n";
    text += "Terminal=false\n";
    text += "NoDisplay=true\n";
    text += std::string("X-GNOME-Autostart-enabled=") + (hidden ? "false" : "true") + "\n";
    if (hidden) text += "Hidden=true\n";
    return text;
}

}  // namespace pivorel
