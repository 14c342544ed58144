#include "ShellServices.h"

#include <QCoreApplication>

#include "Linux/LinuxPermissions.h"
#include "Linux/LinuxRelaunch.h"
#include "PermissionGuideWindow.h"
#include "Settings/SettingsWindow.h"
#include "Settings/TranslationPackModel.h"
#include "Settings/TranslationPackView.h"
#include "Shell/PermissionGuideController.h"
#include "Shell/Relauncher.h"
#include "Storage/UserDefaults.h"
#include "Support/MainQueue.h"
#include "Support/NotificationCenter.h"
#include "Update/Updater.h"
#include "Update/UpdaterHook.h"
#include "UpdateCheckWindow.h"

namespace pivorel {

ShellServices::ShellServices(std::shared_ptr<UserDefaults> defaults, MainQueue& queue,
                             const Clock& clock, Workspace& workspace)
    : defaults_(std::move(defaults)),
      queue_(queue),
      workspace_(workspace),
      updater_(std::make_unique<Updater>(*defaults_, queue, clock, workspace, PIVOREL_VERSION)),
      checkWindow_(std::make_unique<UpdateCheckWindow>(*updater_)),
      permissions_(std::make_shared<LinuxPermissions>()),
      guide_(std::make_unique<PermissionGuideController>(
          permissions_, PermissionGuideWindow::factory(), workspace, queue)),
      relaunchPlatform_(std::make_unique<LinuxRelaunch>([] { QCoreApplication::quit(); })),
      relauncher_(std::make_unique<Relauncher>(*relaunchPlatform_, *defaults_, clock, queue)) {
    // The services page asks for the language-pack window by name; it may ask from inside a
    // button's handler, so the window opens on the next turn.
    observers_.push_back(NotificationCenter::defaultCenter().observe(
        std::string(TranslationPackModel::openNotification),
        [this] { queue_.post([this] { openTranslationPack(); }); }));
}

ShellServices::~ShellServices() {
    observers_.clear();
}

void ShellServices::openSettings() {
    if (!settingsReady_) {
        // The window is made once, with the program's own stores and updater.
        SettingsEnvironment environment;
        environment.defaults = defaults_;
        environment.queue = &queue_;
        environment.workspace = &workspace_;
        environment.update = std::make_shared<UpdaterHook>(*updater_);
        SettingsWindow::setSharedEnvironment(std::move(environment));
        settingsReady_ = true;
    }
    SettingsWindow::showShared();
}

void ShellServices::openTranslationPack() {
    TranslationPackWindow::showShared();
}

void ShellServices::startUpdater() {
    updater_->start();
}

void ShellServices::runUpdaterOnly() {
    updater_->runUpdaterOnly([] { QCoreApplication::exit(0); });
}

void ShellServices::checkForUpdates() {
    checkWindow_->showChecking();
    updater_->checkNow();
}

void ShellServices::updateNow() {
    updater_->updateNow();
}

const std::optional<std::string>& ShellServices::pendingUpdateVersion() const {
    return updater_->pendingVersion();
}

Signal<>& ShellServices::pendingUpdateChanged() {
    return updater_->pendingChanged;
}

void ShellServices::ensureAccessibility(bool skipGuide) {
    guide_->ensureAccessibility(
        skipGuide, [this] { relauncher_->continueAfterGrant(PermissionKind::accessibility); });
}

void ShellServices::openAccessibilitySettings() {
    permissions_->openSettingsPane(PermissionKind::accessibility);
}

}  // namespace pivorel
