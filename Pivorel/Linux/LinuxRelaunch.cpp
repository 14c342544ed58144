#include "Pivorel/Linux/LinuxRelaunch.h"

#include <sys/stat.h>
#include <unistd.h>

#include "Pivorel/Linux/ChildProcess.h"

namespace pivorel {

namespace fs = std::filesystem;

LinuxRelaunch::LinuxRelaunch(std::function<void()> quit) : quit_(std::move(quit)) {}

fs::path LinuxRelaunch::executablePath() {
    auto self = ChildProcess::ownExecutable();
    return self ? self.value() : fs::path();
}

bool LinuxRelaunch::isInstalledExecutable(const fs::path& path) {
    const std::string text = path.string();
    // The kernel marks an executable replaced or removed while running (a package upgrade)
    // this way; starting "it" again would start something else or nothing.
    static const std::string deleted = " (deleted)";
    if (!path.is_absolute() ||
        (text.size() >= deleted.size() &&
         text.compare(text.size() - deleted.size(), deleted.size(), deleted) == 0)) {
        return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

Result<Done, std::string> LinuxRelaunch::spawnRelaunch(const fs::path& path) {
    return ChildProcess::spawnDetached({"/bin/sh", "-c", helperScript, path.string()});
}

void LinuxRelaunch::terminate() {
    if (quit_) quit_();
}

}  // namespace pivorel
