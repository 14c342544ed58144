#include "Pivorel/ShellServices.h"

#include <QCoreApplication>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"
#include "BrisendoKit/Settings/TranslationPackModel.h"
#include "BrisendoKit/Shell/PermissionGuideController.h"
#include "BrisendoKit/Shell/Relauncher.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "BrisendoKit/Update/Updater.h"
#include "BrisendoKit/Update/UpdaterHook.h"
#include "Pivorel/Linux/LinuxPermissions.h"
#include "Pivorel/Linux/LinuxRelaunch.h"
#include "Pivorel/Settings/SettingsWindow.h"
#include "Pivorel/Settings/TranslationPackView.h"
#include "Pivorel/Windows/PermissionGuideWindow.h"
#include "Pivorel/Windows/UpdateCheckWindow.h"

namespace pivorel {

ShellServices::ShellServices(std::shared_ptr<UserDefaults> defaults, MainQueue& queue,
                             const Clock& clock, Workspace& workspace, Credentials credentials)
    : defaults_(std::move(defaults)),
      queue_(queue),
      workspace_(workspace),
      credentials_(std::move(credentials)),
      updater_(std::make_unique<Updater>(*defaults_, queue, clock, workspace, PIVOREL_VERSION)),
      checkWindow_(std::make_unique<UpdateCheckWindow>(*updater_)),
      permissions_(std::make_shared<LinuxPermissions>()),
      guide_(std::make_unique<PermissionGuideController>(
          permissions_, PermissionGuideWindow::factory(), workspace, queue)),
      relaunchPlatform_(std::make_unique<LinuxRelaunch>([] { QCoreApplication::quit(); })),
      relauncher_(std::make_unique<Relauncher>(*relaunchPlatform_, *defaults_, clock, queue)) {}

ShellServices::~ShellServices() {
    // The settings window is kept for the life of the process: its requests find no one.
    self_.reset();
    background_.stop();
}

void ShellServices::openSettings() {
    if (!settingsReady_) {
        // The window is made once, with the program's own stores and updater.
        SettingsEnvironment environment;
        environment.defaults = defaults_;
        environment.queue = &queue_;
        environment.runInBackground = background_.runner();
        environment.workspace = &workspace_;
        environment.credentials = credentials_;
        environment.availability = availability_;
        // The services page may ask from inside a button's handler, so the window opens on
        // the next turn.
        environment.openTranslationPack = [guard = self_.guard()] {
            auto* self = guard.get();
            if (!self) return;
            self->queue_.post([guard] {
                if (auto* later = guard.get()) later->openTranslationPack();
            });
        };
        environment.hotKeyRecording = [guard = self_.guard()](bool recording) {
            if (auto* self = guard.get()) self->hotKeyRecording_.emit(recording);
        };
        environment.update = std::make_shared<UpdaterHook>(*updater_);
        SettingsWindow::setSharedEnvironment(std::move(environment));
        settingsReady_ = true;
    }
    SettingsWindow::showShared();
}

void ShellServices::openTranslationPack() {
    // Without an engine there are no packs to fetch: the window would only fail.
    if (!OnDeviceTranslator::platformDefault()->hasEngine()) return;
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
    constexpr auto kind = PermissionKind::accessibility;
    if (!permissions_->canSwitchOn(kind)) {
        permissions_->openSettingsPane(kind);
        return;
    }
    // The guide holds the switch. One already open carries the continuation: only raised,
    // or the program would go on twice.
    std::function<void()> resume;
    if (!guide_->session(kind)) resume = [this] { relauncher_->continueAfterGrant(kind); };
    guide_->ensure(kind, L("选中文字后在旁边弹出下一步小条"), std::move(resume));
}

}  // namespace pivorel
