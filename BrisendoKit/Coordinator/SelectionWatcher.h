#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BrisendoKit/Platform/GestureEvent.h"
#include "BrisendoKit/Selection/SelectionDetector.h"
#include "BrisendoKit/Selection/SelectionReader.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Geometry.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Signal.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

class AppController;
class BarSettings;
class InputMonitor;
class MainQueue;
class Store;
class Workspace;

// Carries out what the selection detector decides: listens to global input and application
// switches, schedules reads of the selection on a worker thread (results come back through
// the main queue), asks the coordinator to show the bar, hides it, and logs every bar shown
// and every miss. The only owner of the detector. Main thread.
class SelectionWatcher {
  public:
    // `runRead` runs one blocking read elsewhere: the application hands it to a Worker it
    // owns, tests may run it inline. A read may still be running after the watcher is gone,
    // so the owner stops that worker before `reader` and `queue` go.
    SelectionWatcher(AppController& controller, Store& store, const BarSettings& settings,
                     const SelectionReader& reader, InputMonitor& input, Workspace& workspace,
                     MainQueue& queue, const Clock& clock, Worker::Runner runRead);
    ~SelectionWatcher();
    SelectionWatcher(const SelectionWatcher&) = delete;
    SelectionWatcher& operator=(const SelectionWatcher&) = delete;

    // Installs the input monitor and the activation observer, once.
    void start();
    // Applies changed settings; hides a visible bar when the bar was switched off.
    void reloadSettings();
    // The global hot key was pressed: logs a miss when the last gesture produced no bar.
    void hotkeyPressed();

    // One input event from the monitor.
    void handle(const GestureEvent& event);

    const SelectionDetector& detector() const { return detector_; }
    bool hasMoveMonitor() const { return moveMonitor_.connected(); }

    // "text(12 chars)", "empty(no-selection)", ...
    static std::string describe(const SelectionDetector::ReadResult& result);

  private:
    // `elapsed`: seconds of a read's delay that passed before the commands were made.
    void run(const SelectionDetector::Commands& commands, double elapsed = 0);
    void scheduleRead(std::int64_t token, double after);
    // Starts looking up the read's context now, unless the last lookup still runs (then the
    // read looks it up itself): it does not depend on the selection, and the read delay is
    // time it can use.
    std::shared_future<SelectionReader::Context> lookUpContext(Point down);
    void show(const SelectionDetector::Command::Show& command);
    void hideBar();
    void installMoveMonitor();
    void removeMoveMonitor();
    void barGone();
    void appActivated(const std::optional<std::string>& bundleID);
    void mouseMoved(Point location);

    SelectionDetector detector_;
    AppController& controller_;
    const BarSettings& settings_;
    const SelectionReader& reader_;
    InputMonitor& input_;
    Workspace& workspace_;
    MainQueue& queue_;
    const Clock& clock_;
    Worker::Runner runRead_;
    std::vector<Connection> monitors_;
    Connection moveMonitor_;
    Connection activationObserver_;
    Connection barGoneWatch_;
    Point lastDown_;
    TimePoint upAt_;
    std::optional<std::string> pendingURL_;
    bool pendingEditable_ = false;
    bool pendingUnrecorded_ = false;
    std::thread contextLookup_;  // joined before the reader can go
    std::shared_ptr<std::atomic<bool>> contextLookupDone_;
    // Work handed out holds this weakly and is dropped once the watcher is gone.
    LifetimeToken<SelectionWatcher> self_{this};
};

}  // namespace pivorel
