#pragma once

#include <functional>
#include <memory>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/Actions/ExtensionCatalogStore.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

class ActionAvailability;
class LoginItemHook;
class MainQueue;
class OnDeviceTranslator;
class UpdateHook;
class UserDefaults;
class Workspace;

// Everything the settings pages read and write, handed in by whoever opens the window.
struct SettingsEnvironment {
    std::shared_ptr<UserDefaults> defaults;
    // Results of downloads and checks come back through it; must outlive the window.
    MainQueue* queue = nullptr;
    // Downloads run through it; its owner stops it before the queue goes.
    Worker::Runner runInBackground;
    // The running applications for the applications page; may be null (the menu is empty).
    Workspace* workspace = nullptr;
    std::shared_ptr<LoginItemHook> login;
    std::shared_ptr<UpdateHook> update;
    ActionConfigStore actions;
    // The actions missing on this desktop, shown as not installed; may be null (none).
    std::shared_ptr<ActionAvailability> availability;
    ExtensionCatalogStore extensions;
    // The services page's secrets (none by default: nothing stored, nothing storable).
    Credentials credentials;
    std::shared_ptr<OnDeviceTranslator> translator;
    // Whether the program is the active application (language packs are polled only then).
    std::function<bool()> isActive;
    // The services page's download button: the program opens the language-pack window.
    std::function<void()> openTranslationPack;
    // The general page's hot-key recorder started (true) or stopped (false) recording.
    std::function<void(bool recording)> hotKeyRecording;
};

}  // namespace pivorel
