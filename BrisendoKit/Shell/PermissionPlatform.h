#pragma once

#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Shell/PermissionKind.h"
#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// What the permission guide needs from the desktop.
class PermissionPlatform {
  public:
    virtual ~PermissionPlatform() = default;

    // This process's own view of the permission. Main thread; quick.
    virtual bool checkInProcess(PermissionKind kind) = 0;

    // The answer of a fresh copy of the program started in probe mode, which sees the
    // permission as it is now; nothing when it could not answer within `timeoutSeconds`
    // or answered something unusable. Blocks; called on a background thread.
    virtual std::optional<bool> checkLive(PermissionKind kind, double timeoutSeconds) = 0;

    // Asks the desktop to prompt the user, where it has such a prompt.
    virtual void request(PermissionKind kind) = 0;

    // Opens the place where the user grants `kind`; the method that worked, empty when
    // nothing did. Logs what it did.
    virtual std::string openSettingsPane(PermissionKind kind) = 0;

    // The frame of the desktop's settings window, when one is on screen.
    virtual std::optional<Rect> settingsWindowFrame() = 0;

    // The path of the running program, offered for dragging.
    virtual std::string programPath() = 0;

    // Shows `path` selected in the file manager; whether that worked.
    virtual bool reveal(const std::string& path) = 0;

    // Whether the program can turn `kind` on itself (a desktop-wide switch rather than a
    // list the user adds the program to). The guide then offers that switch instead of
    // sending the user to the settings.
    virtual bool canSwitchOn(PermissionKind) { return false; }
    // Turns `kind` on; whether the desktop took it. Main thread; quick.
    virtual bool switchOn(PermissionKind) { return false; }
    // The display names of running programs that only take a switched-on `kind` after
    // a restart. Blocks; called on a background thread.
    virtual std::vector<std::string> programsToRestart(PermissionKind) { return {}; }
};

}  // namespace pivorel
