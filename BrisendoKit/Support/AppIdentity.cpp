#include "BrisendoKit/Support/AppIdentity.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace pivorel {

namespace fs = std::filesystem;

namespace {

fs::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    // Services started without a login environment may lack HOME.
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return fs::temp_directory_path();
}

// The XDG base-directory rule: the variable when it names an absolute path (relative
// values are invalid and ignored), otherwise the fallback under the home directory.
fs::path xdgDirectory(const char* variable, const char* fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value && *value) {
        fs::path p(value);
        if (p.is_absolute()) return p;
    }
    return homeDirectory() / fallbackUnderHome;
}

}  // namespace

fs::path AppIdentity::dataDirectory() {
    return xdgDirectory("XDG_DATA_HOME", ".local/share");
}

fs::path AppIdentity::configDirectory() {
    return xdgDirectory("XDG_CONFIG_HOME", ".config");
}

fs::path AppIdentity::supportDirectory(const std::optional<fs::path>& base) {
    const fs::path dir = (base ? *base : dataDirectory()) / supportDirName;
    std::error_code ignored;
    fs::create_directories(dir, ignored);
    return dir;
}

}  // namespace pivorel
