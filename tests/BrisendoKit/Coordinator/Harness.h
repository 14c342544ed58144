#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "BrisendoKit/Coordinator/ActionPerformer.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Coordinator/SelectionWatcher.h"
#include "BrisendoKit/Platform/CalendarService.h"
#include "BrisendoKit/Platform/RemindersService.h"
#include "BrisendoKit/Selection/SelectionReader.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Storage/HistoryWriter.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/FakeDesktop.h"
#include "Fakes/InMemorySecretStore.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

namespace pivorel::test {

using Rows = std::vector<std::vector<std::string>>;

inline SelectRequest request(std::string text, std::optional<std::string> app = std::nullopt) {
    SelectRequest r;
    r.text = std::move(text);
    r.app = std::move(app);
    return r;
}

// Records each event, or fails with `error` when one is set.
struct FakeCalendar final : CalendarService {
    std::shared_ptr<std::vector<NewEvent>> events;
    std::optional<CalendarError> error;
    FakeCalendar(std::shared_ptr<std::vector<NewEvent>> e, std::optional<CalendarError> f)
        : events(std::move(e)), error(std::move(f)) {}
    Result<std::string, CalendarError> add(const NewEvent& event) override {
        if (error) return fail(*error);
        events->push_back(event);
        return std::string("个人");
    }
};

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
    std::unique_ptr<Store> store = Store::open(dir.path() / "pivorel.sqlite").value();
    std::shared_ptr<UserDefaults> defaults =
        std::make_shared<UserDefaults>(dir.path() / "defaults.json");
    BarSettings settings{defaults};
    ActionConfigStore actions{dir.path() / "actions.json"};
    BarController bar{barWindow, workspace};
    PanelController panel{panelWindow, workspace, input, queue};
    AppController controller{*store, actions, bar, panel, workspace, clock};
    SelectionReader reader{accessibility, workspace, pasteboard, [] {}};
    // Events the calendar received; it fails with `calendarError` when one is set.
    std::shared_ptr<std::vector<NewEvent>> events = std::make_shared<std::vector<NewEvent>>();
    std::optional<CalendarError> calendarError;
    ActionPerformer performer{
        {controller, reader, pasteboard, workspace, settings, queue, clock,
         [] { return std::unique_ptr<RemindersService>(); },
         [this] { return std::make_unique<FakeCalendar>(events, calendarError); }, nullptr,
         Credentials(secrets)}};
    SelectionWatcher watcher{controller, *store, settings,
                             reader,     input,  workspace,
                             queue,      clock,  [](std::function<void()> work) { work(); }};
    std::unique_ptr<HistoryWriter> writer;
    LogCapture log;
    int statsChanges = 0;
    Connection statsWatch = controller.statsChanged.connect([this] { ++statsChanges; });

    Harness() {
        controller.setPerformer(&performer);
        workspace.setFront(app);
        workspace.running = {{app, "Text Editor"}};
        workspace.names[app] = "Text Editor";
        watcher.start();
    }

    // Rows are written on the writer's thread from now on, as in the program.
    void writeInTheBackground() {
        writer = std::make_unique<HistoryWriter>(*store, queue);
        controller.setHistoryWriter(writer.get());
    }

    void event(std::uint32_t type, Point at, std::int64_t clicks = 1, std::uint16_t key = 0) {
        input.gestures.emit(GestureEvent(type, clicks, 0, key, at));
    }
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
    // Opens the panel for `text` as the hot key does and chooses `action` in its list.
    void choose(const std::string& text, const ActionID& action) {
        controller.handle(request(text, app), {200, 600});
        const auto model = panel.model();
        ASSERT_TRUE(model);
        const auto& rows = model->rows();
        const auto at = std::find_if(rows.begin(), rows.end(),
                                     [&](const PanelRow& row) { return row.action == action; });
        ASSERT_NE(at, rows.end()) << action.rawValue << " is not in the list";
        model->choose(at - rows.begin());
    }

    void useActions(std::vector<std::string> order, bool smart = false, std::int64_t barCount = 4,
                    std::vector<CustomAction> custom = {}) {
        ASSERT_TRUE(actions.save({.order = std::move(order),
                                  .hidden = {},
                                  .smartRanking = smart,
                                  .barCount = barCount,
                                  .custom = std::move(custom)}));
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
    // The panel stays up until just before `seconds` have passed.
    void expectClosesAfter(double seconds) {
        queue.advance(seconds - 0.01);
        EXPECT_TRUE(panelWindow.visible);
        queue.advance(0.02);
        EXPECT_FALSE(panelWindow.visible);
    }
    // Where a panel of the current size goes for a point it was shown near.
    Point panelOriginNear(Point near) {
        return PanelPlacement::origin(panelWindow.fittingSize(), near,
                                      workspace.screenList[0].visibleFrame, true);
    }

    // Rows of a query on the database file, every value as text ("NULL" for none).
    Rows rows(const std::string& sql) {
        Rows out;
        sqlite3* db = nullptr;
        sqlite3_open_v2(store->path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                auto& row = out.emplace_back();
                for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                    const auto* value = sqlite3_column_text(statement, i);
                    row.push_back(value ? reinterpret_cast<const char*>(value) : "NULL");
                }
            }
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return out;
    }
};

}  // namespace pivorel::test
