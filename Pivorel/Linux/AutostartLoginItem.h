#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "BrisendoKit/Platform/LoginItemHook.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// Starting at login through XDG autostart: the entry "pivorel.desktop" in the user's
// autostart directory ($XDG_CONFIG_HOME/autostart). An entry there with Hidden=true (or
// GNOME's X-GNOME-Autostart-enabled=false) is switched off, and it masks a system-wide
// entry of the same name ($XDG_CONFIG_DIRS/autostart, as a package may install one).
class AutostartLoginItem final : public LoginItemHook {
  public:
    static constexpr std::string_view fileName = "pivorel.desktop";

    // The user's and the system's autostart directories, and the program to start.
    AutostartLoginItem(std::filesystem::path userDirectory,
                       std::vector<std::filesystem::path> systemDirectories,
                       std::filesystem::path executable);
    // The directories of the environment and this process's executable.
    AutostartLoginItem();

    const std::filesystem::path& userFile() const { return userFile_; }

    bool isEnabled() override;
    // Writes the user's entry to switch on; to switch off, removes it, or marks it hidden
    // when a system-wide entry would still start the program. A failure leaves a log line.
    bool set(bool enabled) override;

    // The entry that starts `executable`.
    static std::string entryText(const std::filesystem::path& executable, bool hidden);
    // `path` as one argument of an Exec line, quoted and escaped where it needs to be.
    static std::string execArgument(const std::string& path);

  private:
    Result<bool, std::string> apply(bool enabled);
    // Whether the entry in `file` exists and is switched on.
    static bool entryEnabled(const std::filesystem::path& file, bool& exists);

    std::filesystem::path userFile_;
    std::vector<std::filesystem::path> systemFiles_;
    std::filesystem::path executable_;
};

}  // namespace pivorel
