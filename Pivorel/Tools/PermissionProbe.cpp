#include "Pivorel/Tools/PermissionProbe.h"

#include <cstdio>

#include "BrisendoKit/Shell/PermissionGuide.h"
#include "Pivorel/Linux/LinuxPermissions.h"

namespace pivorel {

bool isPermissionProbe(const std::vector<std::string>& args) {
    return PermissionGuide::probeKind(args).has_value();
}

int runPermissionProbe(const std::vector<std::string>& args) {
    const auto kind = PermissionGuide::probeKind(args);
    if (!kind) return -1;
    // The same answer the running program gives itself, from a fresh process.
    const bool granted = LinuxPermissions().checkInProcess(*kind);
    std::fputs(granted ? "1\n" : "0\n", stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace pivorel
