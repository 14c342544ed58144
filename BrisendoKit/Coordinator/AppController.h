#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Geometry.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class ActionAvailability;
class ActionPerformer;
class HistoryWriter;
class Store;
struct ContentProfile;
class Workspace;

// Turns a selection into a recorded, ranked bar or panel, and a click into a recorded,
// performed action. Owns the bar and panel controllers; reads the action configuration
// afresh for every selection. Main thread.
class AppController {
  public:
    // What the bar on screen was made from.
    struct BarContext {
        SelectRequest request;
        std::vector<ActionID> ranking;   // the full ranked list
        std::vector<ActionID> barOrder;  // what the bar shows
        std::int64_t id = 0;             // the selection's record id
        ActionConfig config;
    };

    AppController(Store& store, ActionConfigStore actionStore, BarController& bar,
                  PanelController& panel, Workspace& workspace, const Clock& clock);
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // Action execution; set once at start-up, before the first selection.
    void setPerformer(ActionPerformer* performer) { performer_ = performer; }
    // From then on the history is written through `writer`, off the main thread: a selection
    // gets its id at once and its bar or panel without waiting for the disk. Without one,
    // every row is written before the call returns. Set once at start-up.
    void setHistoryWriter(HistoryWriter* writer);
    // The bar and the panel skip the actions it calls unavailable; it must outlive the
    // coordinator. Without one, every action is there. Set once at start-up.
    void setAvailability(const ActionAvailability* availability) { availability_ = availability; }

    // What an inbound link's sender hears: nothing when carried out, else why not.
    using Answer = std::function<void(std::optional<std::string> refusal)>;

    // A selection gesture's request: records it and shows the bar. False when no bar is on
    // screen for it (a conversation is open, or the store refused the record).
    bool showBar(const SelectRequest& request, Point down, Point up);
    // The hot key's and inbound links' request: records it and opens the panel near
    // `mouse`; a dry request is only recorded. False when the store refused the record.
    bool handle(const SelectRequest& request, Point mouse,
                PanelController::Keyboard keyboard = PanelController::Keyboard::atOnce);
    // An inbound link's request, as handle() with the panel taking keys only once pointed
    // at. With a writer the panel opens only after the selection is stored, so an answer
    // other than "done" always means nothing happened.
    void handleLink(const SelectRequest& request, Point mouse, Answer answer);
    // A bar event (`answer`, when given, hears whether it was stored) and a conversation's
    // transcript, for the history.
    void logBar(std::string event, std::optional<std::string> app,
                std::optional<std::string> reason, std::optional<std::int64_t> latencyMs, bool dry,
                Answer answer = {});
    void archive(std::int64_t selectionID, std::string kind, std::string transcript);
    // Clicks on the bar.
    void barChose(std::int64_t index);
    void barMore();
    // A row of the panel was chosen.
    void choose(std::int64_t index, const std::shared_ptr<PanelModel>& model);
    // A short outcome: into the panel when it is up, else at the bar's place when the
    // action came from the bar, else dropped.
    void notice(const std::string& text, double seconds);
    // Hides a visible bar and forgets what it was made from.
    void hideBar();

    BarController& bar() { return bar_; }
    PanelController& panel() { return panel_; }
    Store& store() { return store_; }

    const std::optional<BarContext>& barContext() const { return barContext_; }
    const ActionConfig& currentConfig() const { return currentConfig_; }
    const std::optional<std::int64_t>& currentRecordID() const { return currentRecordID_; }
    const std::optional<SelectRequest>& currentRequest() const { return currentRequest_; }
    Point barAnchor() const { return barAnchor_; }
    bool barFlow() const { return barFlow_; }

    // Emitted when a click takes the bar away (not when handle() hides it).
    Signal<> barGone;
    // Emitted after every store write that changes the statistics.
    Signal<> statsChanged;

    // Records `request` with its ranking: the record id and the ranking, or nothing when
    // the store refused it.
    std::optional<std::pair<std::int64_t, std::vector<ActionID>>> record(
        const SelectRequest& request, const ActionConfig& config);
    std::shared_ptr<PanelModel> makeModel(const SelectRequest& request,
                                          const std::vector<ActionID>& ranking, std::int64_t id,
                                          const ActionConfig& config);

  private:
    std::vector<ActionID> rank(const SelectRequest& request, const ActionConfig& config,
                               const ContentProfile& profile);
    void openPanel(const SelectRequest& request, const std::vector<ActionID>& ranking,
                   std::int64_t id, const ActionConfig& config, Point mouse,
                   PanelController::Keyboard keyboard);
    void markChosen(std::int64_t id, const ActionID& action, std::int64_t rank);
    void perform(const ActionID& action, const SelectRequest& request, std::int64_t recordID,
                 const std::shared_ptr<PanelModel>& model);
    void notifyStatsChanged();

    Store& store_;
    ActionConfigStore actionStore_;
    BarController& bar_;
    PanelController& panel_;
    Workspace& workspace_;
    const Clock& clock_;
    ActionPerformer* performer_ = nullptr;
    HistoryWriter* writer_ = nullptr;
    const ActionAvailability* availability_ = nullptr;
    Connection written_;
    std::optional<BarContext> barContext_;
    ActionConfig currentConfig_;
    std::optional<std::int64_t> currentRecordID_;
    std::optional<SelectRequest> currentRequest_;
    Point barAnchor_;
    bool barFlow_ = false;
    Connection closeLog_;
    // The bar on screen's clicks.
    Connection barChoose_;
    Connection barMore_;
    // Callbacks handed to models hold this weakly.
    LifetimeToken<AppController> self_{this};
};

}  // namespace pivorel
