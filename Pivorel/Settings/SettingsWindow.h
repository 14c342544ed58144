#pragma once

#include <QWidget>
#include <memory>

#include "BrisendoKit/Support/Signal.h"
#include "Pivorel/Settings/SettingsEnvironment.h"
#include "Pivorel/Settings/SettingsRootView.h"

namespace pivorel {

// The settings window: titled "Pivorel 设置" (in the interface language), closable, not
// resizable, holding the root view. Closing hides it; the program keeps it and shows it
// again with the stored values. While the hot key is being recorded, key presses go to the
// recorder before any widget sees them.
class SettingsWindow : public QWidget {
    Q_OBJECT

  public:
    // Missing parts of `environment` are filled in for this desktop: the standard user
    // defaults, a main queue over this thread's event loop, XDG autostart, the platform's
    // offline translator, the default actions.json and extension cache.
    explicit SettingsWindow(SettingsEnvironment environment = {});
    ~SettingsWindow() override;

    SettingsRootView& root() { return *root_; }
    const SettingsEnvironment& environment() const { return environment_; }

    // What the shared window is made with; call before its first showShared().
    static void setSharedEnvironment(SettingsEnvironment environment);
    // The program's window, made on first use and kept for the life of the program.
    static SettingsWindow& shared();
    // Opens the shared window on the general page, or brings it to the front.
    static void showShared();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void retitle();

    // Runs the pages' downloads when the environment brings no runner.
    Worker background_;
    SettingsEnvironment environment_;
    SettingsRootView* root_ = nullptr;
    Connection languageWatch_;
};

}  // namespace pivorel
