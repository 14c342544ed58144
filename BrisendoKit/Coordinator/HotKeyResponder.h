#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "BrisendoKit/Storage/HotKeySpec.h"
#include "BrisendoKit/Support/LifetimeToken.h"

namespace pivorel {

class AppController;
class MainQueue;
class SelectionReader;
class SelectionWatcher;
class Workspace;

// The global hot key: keeps the grabbed key in step with the settings, and answers a press
// by opening the panel for whatever is selected, or with a notice that says why it cannot.
// Main thread.
class HotKeyResponder {
  public:
    // Grabs `keyCode` with `modifiers` (HotKeySpec bits), replacing an earlier grab, and calls
    // the handler on each press from the main thread's event loop; false when the key cannot
    // be had.
    using Registrar = std::function<bool(std::uint32_t keyCode, std::uint32_t modifiers,
                                         std::function<void()> onPressed)>;

    // How long a notice about the press stays up.
    static constexpr double noticeSeconds = 4.5;

    HotKeyResponder(SelectionWatcher& watcher, const SelectionReader& reader,
                    AppController& controller, Workspace& workspace, MainQueue& queue,
                    Registrar registrar);
    ~HotKeyResponder();
    HotKeyResponder(const HotKeyResponder&) = delete;
    HotKeyResponder& operator=(const HotKeyResponder&) = delete;

    // Grabs `spec` unless it is the key asked for last time; answers whether it asked the
    // desktop again. A key the desktop refused is remembered too: asking again would fail
    // the same way until the settings change.
    bool update(const HotKeySpec& spec);
    // The desktop let go of the key: the next update grabs again, whatever the key.
    void forget();
    const std::optional<HotKeySpec>& spec() const { return spec_; }
    bool isRegistered() const { return registered_; }

    // The key was pressed: reports a possible miss, reads the selection and opens the panel
    // at the pointer, or shows why nothing could be read.
    void pressed();

  private:
    void showNotice(const std::string& text);

    SelectionWatcher& watcher_;
    const SelectionReader& reader_;
    AppController& controller_;
    Workspace& workspace_;
    MainQueue& queue_;
    Registrar registrar_;
    std::optional<HotKeySpec> spec_;
    bool registered_ = false;
    // Presses queued by the desktop hold this weakly and are dropped once it is gone.
    LifetimeToken<HotKeyResponder> self_{this};
};

}  // namespace pivorel
