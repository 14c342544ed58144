#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pivorel {

// Names a window's application the one way the whole program does: by the id of its
// installed desktop file (without ".desktop"), found from the hints the window carries;
// when no desktop file matches, by the window's WM_CLASS class. Any thread.
class DesktopAppIndex {
  public:
    // What a window tells about its application.
    struct WindowHints {
        std::optional<std::string> gtkApplicationID;  // _GTK_APPLICATION_ID
        std::optional<std::string> kdeDesktopFile;    // _KDE_NET_WM_DESKTOP_FILE
        std::optional<std::string> instance;          // WM_CLASS, first part
        std::optional<std::string> klass;             // WM_CLASS, second part
    };

    // Over the data directories of AppNames (each holding "applications/"), best first.
    DesktopAppIndex();
    explicit DesktopAppIndex(std::vector<std::filesystem::path> dataDirs);

    // In this order: the GTK application id or KDE desktop-file name when a desktop file
    // has that id; the desktop file whose StartupWMClass is the window's class or instance;
    // the desktop file whose id is the instance or class (ignoring case); else the class
    // (the instance when there is no class). Nothing without any hint.
    std::optional<std::string> resolve(const WindowHints& hints);

    bool hasDesktopFile(const std::string& id);

    // Whether the desktop file `id` is in the TerminalEmulator category.
    bool isTerminal(const std::string& id);

  private:
    struct Index {
        std::set<std::string> ids;
        std::map<std::string, std::string> idsByLowerName;
        std::map<std::string, std::string> idsByLowerWMClass;
        std::set<std::string> terminals;
    };
    const Index& index(bool allowRebuild);
    Index build() const;

    std::vector<std::filesystem::path> dataDirs_;
    std::mutex mutex_;
    std::optional<Index> index_;
    std::chrono::steady_clock::time_point builtAt_;
};

}  // namespace pivorel
