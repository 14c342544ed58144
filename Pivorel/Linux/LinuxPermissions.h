#pragma once

#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Shell/PermissionPlatform.h"

namespace pivorel {

// The permission guide's view of an X11 desktop. Input monitoring and screen capture are a
// reachable X display with XInput 2.2; accessibility is that and the desktop's
// accessibility bus switched on, which the guide's own button does; a live check asks a
// fresh copy of the program through --permission-probe; the settings are the desktop's own
// settings program, when one is installed. There is no prompt and no settings window to
// follow.
class LinuxPermissions final : public PermissionPlatform {
  public:
    // `executable`: the program started for live checks (this one when empty).
    explicit LinuxPermissions(std::string executable = {});

    bool checkInProcess(PermissionKind kind) override;
    std::optional<bool> checkLive(PermissionKind kind, double timeoutSeconds) override;
    void request(PermissionKind kind) override;
    std::string openSettingsPane(PermissionKind kind) override;
    std::optional<Rect> settingsWindowFrame() override;
    std::string programPath() override;
    bool reveal(const std::string& path) override;
    bool canSwitchOn(PermissionKind kind) override;
    bool switchOn(PermissionKind kind) override;
    // Programs with windows on the display that the accessibility registry does not list.
    std::vector<std::string> programsToRestart(PermissionKind kind) override;

    // The commands that open the settings for `kind`, best first: the current desktop's
    // (`currentDesktop` as in $XDG_CURRENT_DESKTOP, e.g. "ubuntu:GNOME") before the others.
    static std::vector<std::vector<std::string>> settingsCommands(
        PermissionKind kind, const std::string& currentDesktop);

  private:
    std::string executable_;
};

}  // namespace pivorel
