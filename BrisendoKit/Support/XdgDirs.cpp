#include "BrisendoKit/Support/XdgDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace pivorel {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> absolute(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || !*value || !fs::path(value).is_absolute()) return std::nullopt;
    return fs::path(value);
}

std::vector<fs::path> list(const char* variable, const std::string& fallback) {
    const char* env = std::getenv(variable);
    const std::string joined = env && *env ? env : fallback;
    std::vector<fs::path> dirs;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t stop = joined.find(':', start);
        if (stop == std::string::npos) stop = joined.size();
        const fs::path dir = joined.substr(start, stop - start);
        if (dir.is_absolute()) dirs.push_back(dir);
        start = stop + 1;
    }
    return dirs;
}

}  // namespace

fs::path XdgDirs::home() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return fs::temp_directory_path();
}

fs::path XdgDirs::dataHome() {
    return absolute("XDG_DATA_HOME").value_or(home() / ".local/share");
}

fs::path XdgDirs::configHome() {
    return absolute("XDG_CONFIG_HOME").value_or(home() / ".config");
}

std::vector<fs::path> XdgDirs::dataDirs() {
    return list("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
}

std::vector<fs::path> XdgDirs::configDirs() {
    return list("XDG_CONFIG_DIRS", "/etc/xdg");
}

std::optional<fs::path> XdgDirs::runtimeDir() {
    return absolute("XDG_RUNTIME_DIR");
}

}  // namespace pivorel
