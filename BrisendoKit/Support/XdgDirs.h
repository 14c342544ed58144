#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace pivorel {

// The user's directories after the XDG base-directory rules: a variable counts only when it
// names an absolute path (relative entries are invalid and ignored), else its default.
// Nothing is created.
struct XdgDirs {
    XdgDirs() = delete;

    // $HOME, else the user's entry in the password database (services started without a
    // login environment may lack HOME), else the temporary directory.
    static std::filesystem::path home();

    // $XDG_DATA_HOME, else ~/.local/share.
    static std::filesystem::path dataHome();

    // $XDG_CONFIG_HOME, else ~/.config.
    static std::filesystem::path configHome();

    // $XDG_DATA_DIRS (default /usr/local/share and /usr/share): searched after dataHome().
    static std::vector<std::filesystem::path> dataDirs();

    // $XDG_CONFIG_DIRS (default /etc/xdg): searched after configHome().
    static std::vector<std::filesystem::path> configDirs();

    // $XDG_RUNTIME_DIR; it has no default.
    static std::optional<std::filesystem::path> runtimeDir();
};

}  // namespace pivorel
