#pragma once

#include <functional>

#include "BrisendoKit/Shell/Relauncher.h"

namespace pivorel {

// Restarting on Linux: a detached shell waits a moment and starts the same executable
// again, after this process has quit through `quit`.
class LinuxRelaunch final : public RelaunchPlatform {
  public:
    // Seconds the helper waits before starting the program again; the old instance quits
    // after 0.8 s and must have released the single-instance socket by then.
    static constexpr const char* helperScript = "sleep 1.2; exec \"$0\"";

    explicit LinuxRelaunch(std::function<void()> quit);

    std::filesystem::path executablePath() override;
    bool isInstalledExecutable(const std::filesystem::path& path) override;
    Result<Done, std::string> spawnRelaunch(const std::filesystem::path& path) override;
    void terminate() override;

  private:
    std::function<void()> quit_;
};

}  // namespace pivorel
