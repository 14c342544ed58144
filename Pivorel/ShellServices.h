#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Signal.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

class ActionAvailability;
class Clock;
class LinuxPermissions;
class LinuxRelaunch;
class MainQueue;
class PermissionGuideController;
class Relauncher;
class UpdateCheckWindow;
class Updater;
class UserDefaults;
class Workspace;

// The windows and services the tray menu and start-up reach beyond the selection flow: the
// settings and language-pack windows, the updater with its check window, the permission
// guide and the relaunch after a grant. Main thread; made once the desktop is connected.
class ShellServices {
  public:
    ShellServices(std::shared_ptr<UserDefaults> defaults, MainQueue& queue, const Clock& clock,
                  Workspace& workspace, Credentials credentials = Credentials());
    ~ShellServices();
    ShellServices(const ShellServices&) = delete;
    ShellServices& operator=(const ShellServices&) = delete;

    // The actions the settings page shows as not installed; before the window opens.
    void setActionAvailability(std::shared_ptr<ActionAvailability> availability) {
        availability_ = std::move(availability);
    }
    void openSettings();
    void openTranslationPack();

    // Starts the scheduled update checks.
    void startUpdater();
    // "--updater-only": the updater alone, until the program quits 25 seconds later.
    void runUpdaterOnly();
    // "检查更新…": a check the user asked for, told in a small window.
    void checkForUpdates();
    // The update menu item: the pending update's page.
    void updateNow();
    // The version an update would bring, once an unattended check found one.
    const std::optional<std::string>& pendingUpdateVersion() const;
    // Emitted when pendingUpdateVersion() changes.
    Signal<>& pendingUpdateChanged();
    // The settings window's hot-key recorder started (true) or stopped (false) recording.
    Signal<bool>& hotKeyRecording() { return hotKeyRecording_; }
    Updater& updater() { return *updater_; }

    // Start-up's accessibility step: the guide unless `skipGuide`; a grant relaunches the
    // program once so every part starts with the permission.
    void ensureAccessibility(bool skipGuide);
    // The tray's accessibility item: the guide with its switch, or the desktop's own
    // settings where the program cannot turn it on itself.
    void openAccessibilitySettings();
    PermissionGuideController& permissionGuide() { return *guide_; }

  private:
    std::shared_ptr<UserDefaults> defaults_;
    MainQueue& queue_;
    Workspace& workspace_;
    Credentials credentials_;
    std::shared_ptr<ActionAvailability> availability_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<UpdateCheckWindow> checkWindow_;
    std::shared_ptr<LinuxPermissions> permissions_;
    std::unique_ptr<PermissionGuideController> guide_;
    std::unique_ptr<LinuxRelaunch> relaunchPlatform_;
    std::unique_ptr<Relauncher> relauncher_;
    bool settingsReady_ = false;
    // The settings pages' downloads; stopped before the queue goes.
    Worker background_;
    Signal<bool> hotKeyRecording_;
    LifetimeToken<ShellServices> self_{this};
};

}  // namespace pivorel
