#include "BrisendoKit/Shell/PermissionKind.h"

namespace pivorel {

std::string_view toString(PermissionKind kind) {
    switch (kind) {
        case PermissionKind::accessibility:
            return "accessibility";
        case PermissionKind::screenRecording:
            return "screenRecording";
        case PermissionKind::inputMonitoring:
            return "inputMonitoring";
        case PermissionKind::microphone:
            return "microphone";
        case PermissionKind::fullDiskAccess:
            return "fullDiskAccess";
        case PermissionKind::systemAudioCapture:
            return "systemAudioCapture";
    }
    return "accessibility";
}

std::optional<PermissionKind> permissionKindFromString(std::string_view raw) {
    for (PermissionKind kind : allPermissionKinds) {
        if (toString(kind) == raw) return kind;
    }
    return std::nullopt;
}

}  // namespace pivorel
