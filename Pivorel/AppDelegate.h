#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Shell/StatusMenuModel.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Signal.h"
#include "BrisendoKit/Support/Worker.h"
#include "Pivorel/ShellServices.h"

namespace pivorel {

class ActionAvailability;
class ActionPerformer;
class AppController;
class BarController;
class BarPanel;
class DesktopColorScheme;
class DesktopTargetsWatch;
class FloatingPanel;
class HistoryWriter;
class HotKeyResponder;
class LinkDispatcher;
class LinuxDesktop;
class LinuxDesktopTargets;
class PanelController;
class QtMainQueue;
class SelectionReader;
class SelectionWatcher;
class Store;
class Tray;

// The running program: opens the history store, builds the desktop, the windows, the
// coordinator and the selection watcher, installs the tray menu, the global hot key and the
// observers that apply changed settings, and owns all of it until the program quits.
// Needs a QApplication on the xcb platform. Main thread.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    struct Options {
        // Copy the former product's secrets into the keyring in the background.
        bool keychainMigration = true;
        // Open the permission guide when selections cannot be read.
        bool permissionGuide = true;
        // Run the update checker alone, and quit after 25 seconds.
        bool updaterOnly = false;
        // An inbound link to carry out once the program is up.
        std::optional<std::string> link;
    };

    explicit AppDelegate(Options options);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Starts everything, in order. 0 when the program is up; otherwise the exit status,
    // after a log line that says why.
    int start();

    // Carries out an inbound link; `answer` hears nothing once it is done, else why not.
    void open(const std::string& link, AppController::Answer answer);

    // The menu's commands.
    void toggleBar();
    void togglePause();
    void importLegacySecrets();
    void revealDatabase();

    // Brings the menu's statistics, conflict line, titles and states up to date.
    void refreshMenu();
    // The menu's items, the tooltip and the icon's badge, from what is known now.
    void updateTray();
    // The statistics line and the status item's title.
    void refreshStats();

    // Parts, for the window tests (null before start()).
    Tray* tray() { return tray_.get(); }
    AppController* controller() { return controller_.get(); }
    SelectionWatcher* watcher() { return watcher_.get(); }
    HotKeyResponder* hotKey() { return hotKey_.get(); }
    LinuxDesktop* desktop() { return desktop_.get(); }
    ShellServices* services() { return services_.get(); }
    Store* store() { return store_.get(); }
    const BarSettings& settings() const { return settings_; }

  private:
    void choose(StatusMenuModel::ItemID id);
    void populateMenu();
    StatusMenuModel::Inputs menuInputs();
    void registerHotKey();
    // While the settings window records a hot key, the program holds none.
    void suspendHotKey(bool suspend);
    void refreshConflict();
    void installObservers();
    void defaultsChanged(const std::string& key);
    void languageChanged();
    void followDesktopLook();
    void ensureAccessibility();
    void startSecretsMigration();
    void checkLegacySecrets();
    void afterToggle();
    // The X11 desktop, or GNOME's Wayland one when its Shell extension runs.
    Result<std::unique_ptr<LinuxDesktop>, std::string> connectDesktop();
    // The menu item that offers the Shell extension on a GNOME Wayland session without it.
    void addExtensionItem();
    void installExtension();

    Options options_;
    BarSettings settings_;
    SystemClock clock_;
    // The keyring.
    Credentials credentials_;
    std::unique_ptr<QtMainQueue> queue_;
    // What the dictionary, journal and calendar actions find on this desktop.
    std::shared_ptr<ActionAvailability> availability_;
    std::unique_ptr<LinuxDesktopTargets> targets_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<HistoryWriter> writer_;
    std::unique_ptr<LinuxDesktop> desktop_;
    std::unique_ptr<DesktopColorScheme> colorScheme_;
    std::unique_ptr<ShellServices> services_;
    std::unique_ptr<BarPanel> barWindow_;
    std::unique_ptr<FloatingPanel> panelWindow_;
    std::unique_ptr<BarController> bar_;
    std::unique_ptr<PanelController> panel_;
    std::unique_ptr<AppController> controller_;
    std::unique_ptr<SelectionReader> reader_;
    std::unique_ptr<ActionPerformer> performer_;
    std::unique_ptr<SelectionWatcher> watcher_;
    std::unique_ptr<LinkDispatcher> links_;
    std::unique_ptr<HotKeyResponder> hotKey_;
    std::unique_ptr<Tray> tray_;
    std::unique_ptr<QFileSystemWatcher> defaultsWatch_;
    std::unique_ptr<DesktopTargetsWatch> targetsWatch_;

    std::optional<TodayStats> today_;
    bool historyInMemory_ = false;
    std::optional<std::vector<BarAppSummary>> barSummary_;
    bool popclipRunning_ = false;
    bool hotKeySuspended_ = false;
    bool legacySecretsPending_ = false;
    enum class ExtensionOffer { none, offered, installed, failed };
    ExtensionOffer extensionOffer_ = ExtensionOffer::none;
    std::atomic<bool> checkingLegacy_{false};

    // Keyring work; quitting waits for it.
    QThreadPool workers_;
    // Selection reads; stopped before the reader, the desktop and the queue they use go.
    Worker reads_;
    std::vector<Connection> observers_;
    // Work handed to other threads and queues holds this weakly.
    LifetimeToken<AppDelegate> self_{this};
};

// pivorel without a one-shot switch: the tray program, until the user quits from the menu.
int runApplication(int argc, char** argv, AppDelegate::Options options);

}  // namespace pivorel
