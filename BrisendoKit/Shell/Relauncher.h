#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Shell/PermissionKind.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

class Clock;
class MainQueue;
class UserDefaults;

// What restarting the program needs from the system.
class RelaunchPlatform {
  public:
    virtual ~RelaunchPlatform() = default;
    // The running program's executable.
    virtual std::filesystem::path executablePath() = 0;
    // Whether `path` is an installed executable that can be started again (not a file
    // that was replaced or removed while running).
    virtual bool isInstalledExecutable(const std::filesystem::path& path) = 0;
    // Starts a detached helper that waits a moment and starts `path` again; it outlives
    // this process.
    virtual Result<Done, std::string> spawnRelaunch(const std::filesystem::path& path) = 0;
    // Ends the program (the event loop's quit).
    virtual void terminate() = 0;
};

// Restarts the program once after a permission was granted, never in a loop.
class Relauncher {
  public:
    static constexpr std::string_view lastRelaunchKey = "PermissionGuide.lastRelaunchAt";
    static constexpr double terminateDelay = 0.8;

    Relauncher(RelaunchPlatform& platform, UserDefaults& defaults, const Clock& clock,
               MainQueue& queue);

    // Starts the helper and quits shortly after; false (with a log line) when the program
    // is not an installed executable, relaunched less than `loopWindow` seconds ago, or
    // the helper could not be started.
    bool relaunch(std::string_view reason, double loopWindow);

    // The application's continuation once `kind` was granted: writes the continuation and
    // relaunches; when that is refused the continuation is taken back and the user is told
    // to restart by hand.
    void continueAfterGrant(PermissionKind kind);

    // Where the continuation goes; the support directory's file when unset.
    std::optional<std::filesystem::path> continuationPath;

  private:
    RelaunchPlatform& platform_;
    UserDefaults& defaults_;
    const Clock& clock_;
    MainQueue& queue_;
};

}  // namespace pivorel
