#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace pivorel {

// The permissions the guide can walk the user through. The raw strings appear on the
// command line (--permission-probe), in log lines and in the continuation file.
enum class PermissionKind {
    accessibility,
    screenRecording,
    inputMonitoring,
    microphone,
    fullDiskAccess,
    systemAudioCapture,
};

inline constexpr std::array<PermissionKind, 6> allPermissionKinds = {
    PermissionKind::accessibility,   PermissionKind::screenRecording,
    PermissionKind::inputMonitoring, PermissionKind::microphone,
    PermissionKind::fullDiskAccess,  PermissionKind::systemAudioCapture,
};

std::string_view toString(PermissionKind kind);

// Exact, case-sensitive match of a raw value; anything else is no kind.
std::optional<PermissionKind> permissionKindFromString(std::string_view raw);

}  // namespace pivorel
