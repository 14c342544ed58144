#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Platform/DesktopTargets.h"

namespace pivorel {

// The desktop's dictionary, journal and calendar targets. The dictionary is GoldenDict or
// GNOME Dictionary, found through their installed desktop files and PATH, else a handler
// of dict: links; the journal a handler of dayone: links; the calendar Evolution Data
// Server on the session bus, else a handler of text/calendar. Handlers are the desktop's
// defaults as xdg-mime tells them, as opening a link asks.
class LinuxDesktopTargets final : public DesktopTargets {
  public:
    // A dictionary program: the command to start it, without the text.
    struct Dictionary {
        std::vector<std::string> command;
        // GNOME Dictionary takes "--look-up=TEXT"; GoldenDict the bare text.
        bool lookUpOption = false;

        // The full command line that looks `text` up.
        std::vector<std::string> argv(const std::string& text) const;
        bool operator==(const Dictionary&) const = default;
    };

    // Over the data directories of AppNames (each holding "applications/").
    LinuxDesktopTargets();
    explicit LinuxDesktopTargets(std::vector<std::filesystem::path> dataDirs);

    Presence presence() override;
    bool lookUp(const std::string& text) override;

    // The first installed dictionary program, GoldenDict before GNOME Dictionary.
    std::optional<Dictionary> findDictionary() const;

    // The words of a desktop file's Exec value, quotes resolved and field codes dropped.
    static std::vector<std::string> execArguments(std::string_view exec);

  private:
    std::vector<std::filesystem::path> dataDirs_;
    std::mutex mutex_;
    // What the last presence() found, so a look-up reads no files.
    std::optional<std::optional<Dictionary>> dictionary_;
};

}  // namespace pivorel
