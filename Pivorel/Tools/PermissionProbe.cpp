#include "Pivorel/Tools/PermissionProbe.h"

#include <cstdio>

#include "BrisendoKit/Shell/PermissionGuide.h"
#include "Pivorel/Linux/DisplayProbe.h"

namespace pivorel {

bool isPermissionProbe(const std::vector<std::string>& args) {
    return PermissionGuide::probeKind(args).has_value();
}

int runPermissionProbe(const std::vector<std::string>& args) {
    const auto kind = PermissionGuide::probeKind(args);
    if (!kind) return -1;
    bool granted = false;
    switch (*kind) {
        case PermissionKind::accessibility:
        case PermissionKind::screenRecording:
        case PermissionKind::inputMonitoring:
            // Reading selections, watching input and capturing the screen all come down to
            // a reachable X display with XInput 2.2.
            granted = x11InputReachable();
            break;
        case PermissionKind::microphone:
        case PermissionKind::fullDiskAccess:
        case PermissionKind::systemAudioCapture:
            granted = false;  // nothing on this desktop grants these to a program
            break;
    }
    std::fputs(granted ? "1\n" : "0\n", stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace pivorel
