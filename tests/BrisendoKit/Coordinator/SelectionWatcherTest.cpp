#include "BrisendoKit/Coordinator/SelectionWatcher.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "BrisendoKit/Coordinator/Harness.h"
#include "BrisendoKit/Support/Worker.h"

using namespace pivorel;
using test::Rows;

namespace {

struct SelectionWatcherTest : ::testing::Test {
    test::Harness h;
    Rows barLog() {
        return h.rows("SELECT event, app, reason, latency_ms, dry FROM bar_log ORDER BY id");
    }
};

}  // namespace

TEST_F(SelectionWatcherTest, TheBarHidesOnAppSwitchMoveAwayAndSwitchOff) {
    h.select("hello");
    ASSERT_TRUE(h.barWindow.visible);
    const Rect content = h.barWindow.frame().insetBy(BarPlacement::shadowInset);
    h.input.moves.emit({content.maxX() + 170, content.maxY()});
    EXPECT_TRUE(h.barWindow.visible);
    h.input.moves.emit({content.maxX() + 190, content.maxY()});
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.controller.barContext());
    EXPECT_FALSE(h.watcher.hasMoveMonitor());

    h.select("again");
    ASSERT_TRUE(h.barWindow.visible);
    h.input.activations.emit(std::optional<std::string>("firefox-esr"));
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.watcher.hasMoveMonitor());

    h.select("once more");
    ASSERT_TRUE(h.barWindow.visible);
    h.settings.setEnabled(false);
    h.watcher.reloadSettings();
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.watcher.detector().isBarVisible());
    EXPECT_FALSE(h.watcher.hasMoveMonitor());
    h.select("off now");
    EXPECT_FALSE(h.barWindow.visible);
}

// An input layer that finds releases by polling reports them late: the read still comes
// 80 ms after the release itself, and the bar's latency counts from it.
TEST_F(SelectionWatcherTest, AReleaseReportedLateHasUsedUpPartOfTheReadDelay) {
    struct Case {
        double age;
        double readAfter;
        const char* latencyMs;
    };
    for (const Case c : {Case{0.03, 0.05, "80"}, Case{0.3, 0.0, "300"}}) {
        SCOPED_TRACE(c.age);
        h.accessibility.systemText = "late by " + std::to_string(c.age);
        h.event(GestureEvent::leftMouseDownType, {300, 400});
        h.event(GestureEvent::leftMouseDraggedType, {380, 400});
        GestureEvent up(GestureEvent::leftMouseUpType, 1, 0, 0, {380, 400});
        up.age = c.age;
        h.input.gestures.emit(up);
        if (c.readAfter > 0) {
            h.queue.advance(c.readAfter - 0.005);
            EXPECT_FALSE(h.barWindow.visible);
        }
        h.queue.advance(0.01);
        ASSERT_TRUE(h.barWindow.visible);
        EXPECT_EQ(barLog().back()[3], c.latencyMs);
    }
}

TEST_F(SelectionWatcherTest, ALateReadIsDroppedOnceTheWatcherIsGone) {
    std::vector<std::function<void()>> parked;
    auto watcher = std::make_unique<SelectionWatcher>(
        h.controller, *h.store, h.settings, h.reader, h.input, h.workspace, h.queue, h.clock,
        [&](std::function<void()> work) { parked.push_back(std::move(work)); });
    watcher->start();
    h.select("text");
    ASSERT_EQ(parked.size(), 1u);
    EXPECT_EQ(barLog().size(), 1u);  // the harness's own watcher showed the bar
    watcher.reset();
    parked[0]();  // the gone watcher's read finishes now
    h.queue.runReady();
    EXPECT_EQ(barLog().size(), 1u);
    EXPECT_EQ(h.rows("SELECT count(*) FROM selections"), (Rows{{"1"}}));
}

TEST_F(SelectionWatcherTest, QuittingWhileAReadIsBlockedInThePortWaitsForTheRead) {
    // Torn down in the program's order: the watcher, then its worker (which must wait for
    // the read), then the reader, the port and the queue.
    auto accessibility = std::make_unique<test::FakeAccessibility>();
    auto queue = std::make_unique<test::ManualMainQueue>(h.clock);
    auto reader =
        std::make_unique<SelectionReader>(*accessibility, h.workspace, h.pasteboard, [] {});
    auto worker = std::make_unique<Worker>();
    auto watcher =
        std::make_unique<SelectionWatcher>(h.controller, *h.store, h.settings, *reader, h.input,
                                           h.workspace, *queue, h.clock, worker->runner());
    std::promise<void> entered, release;
    accessibility->systemText = "text";
    accessibility->whileReading = [&, released = release.get_future().share(),
                                   first = true]() mutable {
        if (!std::exchange(first, false)) return;
        entered.set_value();
        released.wait();
    };
    watcher->start();
    h.drag();
    queue->advance(0.08);
    entered.get_future().wait();

    watcher.reset();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release.set_value();
    });
    worker.reset();
    releaser.join();
    reader.reset();
    accessibility.reset();
    EXPECT_EQ(queue->runReady(), 1u) << "the finished read's result, dropped";
}
