#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "BrisendoKit/Coordinator/ActionPerformer.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Coordinator/SelectionWatcher.h"
#include "BrisendoKit/Platform/RemindersService.h"
#include "BrisendoKit/Selection/SelectionReader.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/FakeDesktop.h"
#include "Fakes/InMemorySecretStore.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

namespace pivorel::test {

// What the reminders service saw, shared with the worker threads that open it.
struct ReminderBox {
    std::mutex mutex;
    bool granted = true;
    std::vector<NewReminder> saved;
};

class FakeReminders final : public RemindersService {
  public:
    explicit FakeReminders(std::shared_ptr<ReminderBox> box) : box_(std::move(box)) {}
    Result<bool, ReminderError> requestAccess() override {
        std::lock_guard lock(box_->mutex);
        return box_->granted;
    }
    std::optional<std::string> defaultList() override { return "Inbox"; }
    Result<Done, ReminderError> save(const std::string&, const NewReminder& reminder) override {
        std::lock_guard lock(box_->mutex);
        box_->saved.push_back(reminder);
        return Done{};
    }

  private:
    std::shared_ptr<ReminderBox> box_;
};

// A request as the hot key or a link hands it over.
inline SelectRequest request(std::string text, std::optional<std::string> app = std::nullopt) {
    SelectRequest r;
    r.text = std::move(text);
    r.app = std::move(app);
    return r;
}

// The whole program below its windows: real store, settings, action file, controllers,
// coordinator, performer and watcher over the fake desktop, a virtual clock and a manual
// main queue. Reads run inline on the main queue, so nothing races the fakes.
struct Harness {
    static constexpr const char* app = "org.gnome.TextEditor";

    TempDir dir;
    VirtualClock clock;
    ManualMainQueue queue{clock};
    FakeWorkspace workspace;
    FakeInputMonitor input;
    FakeAccessibility accessibility;
    FakePasteboard pasteboard;
    FakeBarWindow barWindow;
    FakePanelWindow panelWindow;
    std::shared_ptr<InMemorySecretStore> secrets = std::make_shared<InMemorySecretStore>();
    std::shared_ptr<ReminderBox> reminders = std::make_shared<ReminderBox>();
    std::unique_ptr<Store> store = Store::open(dir.path() / "pivorel.sqlite").value();
    std::shared_ptr<UserDefaults> defaults =
        std::make_shared<UserDefaults>(dir.path() / "defaults.json");
    BarSettings settings{defaults};
    ActionConfigStore actions{dir.path() / "actions.json"};
    BarController bar{barWindow, workspace};
    PanelController panel{panelWindow, workspace, input, queue};
    AppController controller{*store, actions, bar, panel, workspace, clock};
    SelectionReader reader{accessibility, workspace, pasteboard, [] {}};
    ActionPerformer performer{{controller, reader, pasteboard, workspace, settings, queue, clock,
                               [box = reminders] { return std::make_unique<FakeReminders>(box); },
                               nullptr, Credentials(secrets)}};
    SelectionWatcher watcher{controller, *store, settings,
                             reader,     input,  workspace,
                             queue,      clock,  [](std::function<void()> work) { work(); }};
    LogCapture log;
    int statsChanges = 0;
    Connection statsWatch;

    Harness() {
        controller.setPerformer(&performer);
        statsWatch = controller.statsChanged.connect([this] { ++statsChanges; });
        workspace.setFront(app);
        workspace.running = {{app, "Text Editor"}};
        workspace.names[app] = "Text Editor";
        watcher.start();
    }

    void event(std::uint32_t type, Point at, std::int64_t clicks = 1, std::uint16_t key = 0) {
        input.gestures.emit(GestureEvent(type, clicks, 0, key, at));
    }
    // A left-button drag across some text.
    void drag(Point from = {300, 400}, Point to = {380, 400}) {
        event(GestureEvent::leftMouseDownType, from);
        event(GestureEvent::leftMouseDraggedType, to);
        event(GestureEvent::leftMouseUpType, to);
    }
    // Drags over `text` and lets the first read happen.
    void select(const std::string& text) {
        accessibility.systemText = text;
        drag();
        queue.advance(0.08);
    }

    void useActions(std::vector<std::string> order, bool smart = false, std::int64_t barCount = 4,
                    std::vector<CustomAction> custom = {}) {
        ActionConfig config;
        config.order = std::move(order);
        config.smartRanking = smart;
        config.barCount = barCount;
        config.custom = std::move(custom);
        ASSERT_TRUE(actions.save(config));
    }

    std::vector<std::string> barActions() const {
        std::vector<std::string> out;
        if (barWindow.content)
            for (const auto& item : barWindow.content->items()) out.push_back(item.action.rawValue);
        return out;
    }
    // The notice the panel shows, or "" when it shows none.
    std::string notice() const {
        if (!panelWindow.visible || !panel.model()) return "";
        const auto* n = std::get_if<PanelMode::Notice>(&panel.model()->mode().value);
        return n ? n->text : "";
    }
    // Where a panel of the current size goes for a point it was shown near.
    Point panelOriginNear(Point near) {
        return PanelPlacement::origin(panelWindow.fittingSize(), near,
                                      workspace.screenList[0].visibleFrame, true);
    }
    std::int64_t lastRecordID() {
        return std::stoll(rows("SELECT max(id) FROM selections").at(0).at(0));
    }

    // Rows of a query on the database file, every value as text ("NULL" for none).
    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        sqlite3* db = nullptr;
        sqlite3_open_v2(store->path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                std::vector<std::string> row;
                for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                    const auto* value = sqlite3_column_text(statement, i);
                    row.push_back(value ? reinterpret_cast<const char*>(value) : "NULL");
                }
                out.push_back(std::move(row));
            }
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return out;
    }
};

}  // namespace pivorel::test
