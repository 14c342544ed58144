#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Support/Signal.h"

namespace pivorel {

// What the tray menu and start-up ask of windows and services that live outside the
// application delegate: the settings window, the translation-pack window, the updater and
// the permission guide. Main thread.
class ShellServices {
  public:
    virtual ~ShellServices() = default;

    virtual void openSettings() = 0;
    virtual void openTranslationPack() = 0;
    // A check the user asked for, with its own feedback.
    virtual void checkForUpdates() = 0;
    // Installs (or leads to) the pending update.
    virtual void updateNow() = 0;
    // The version an update would bring, once a check found one.
    virtual std::optional<std::string> pendingUpdateVersion() = 0;
    // Shows the user how to let the program read selections; `reason` says what for.
    virtual void openPermissionGuide(const std::string& reason) = 0;
    // The desktop's own settings for the permission, where there are any.
    virtual void openAccessibilitySettings() = 0;
    // The interface language changed: windows retitle themselves.
    virtual void languageChanged() = 0;

    // Emitted when pendingUpdateVersion() changes.
    Signal<> pendingUpdateChanged;

    // Services that are not there yet: each request leaves one log line and does nothing.
    static std::unique_ptr<ShellServices> placeholder();
};

}  // namespace pivorel
