#include "BrisendoKit/Shell/PermissionGuideController.h"

#include <gtest/gtest.h>

#include <deque>

#include "BrisendoKit/Shell/GuidePlacement.h"
#include "BrisendoKit/Shell/PermissionGuide.h"
#include "BrisendoKit/Shell/PermissionKind.h"
#include "BrisendoKit/Shell/PermissionPlatform.h"
#include "BrisendoKit/Support/Log.h"
#include "Fakes/FakeDesktop.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

struct FakePermissions final : PermissionPlatform {
    std::map<PermissionKind, bool> inProcess;
    std::deque<std::optional<bool>> liveAnswers;  // in order; none left answers "nothing"
    std::vector<int> liveAtTick;
    const int* tick = nullptr;
    int paneOpens = 0;
    std::optional<Rect> settingsFrame;

    bool checkInProcess(PermissionKind kind) override { return inProcess[kind]; }
    std::optional<bool> checkLive(PermissionKind, double) override {
        liveAtTick.push_back(*tick);
        if (liveAnswers.empty()) return std::nullopt;
        auto answer = liveAnswers.front();
        liveAnswers.pop_front();
        return answer;
    }
    void request(PermissionKind) override {}
    std::string openSettingsPane(PermissionKind) override { return ++paneOpens, "exec:test"; }
    std::optional<Rect> settingsWindowFrame() override { return settingsFrame; }
    std::string programPath() override { return "/usr/bin/pivorel"; }
    bool reveal(const std::string&) override { return true; }
    bool switchable = false;
    std::vector<std::string> restart;
    bool canSwitchOn(PermissionKind) override { return switchable; }
    bool switchOn(PermissionKind kind) override { return inProcess[kind] = switchable; }
    std::vector<std::string> programsToRestart(PermissionKind) override { return restart; }
};

// What a guide window was told; it outlives the window.
struct GuideRecord {
    GuideContent content;
    GuideWindow::Callbacks callbacks;
    GuideStatus status = GuideStatus::waiting;
    std::string statusText;
    Point origin;
    bool shown = false;
    int raised = 0;
};

struct FakeGuideWindow final : GuideWindow {
    explicit FakeGuideWindow(std::shared_ptr<GuideRecord> r) : record(std::move(r)) {}
    void setStatus(GuideStatus status, const std::string& text) override {
        record->status = status;
        record->statusText = text;
    }
    Size size() override { return {300, 400}; }
    void moveTo(Point origin) override { record->origin = origin; }
    void show() override { record->shown = true; }
    void hide() override { record->shown = false; }
    void bringToFront() override { ++record->raised; }
    std::shared_ptr<GuideRecord> record;
};

class GuideControllerTest : public ::testing::Test {
  protected:
    GuideControllerTest() {
        platform->tick = &tick;
        controller.runInBackground = [](std::function<void()> work) { work(); };
        controller.checkProvider = [this](PermissionKind k) { return platform->inProcess[k]; };
    }

    // One second of guide time, with whatever the live checks post.
    void second() {
        ++tick;
        queue.advance(1.0);
    }
    bool granted(PermissionKind kind) { return controller.session(kind)->granted; }

    std::shared_ptr<FakePermissions> platform = std::make_shared<FakePermissions>();
    std::vector<std::shared_ptr<GuideRecord>> windows;
    FakeWorkspace workspace;
    VirtualClock clock;
    ManualMainQueue queue{clock};
    int tick = 0;
    PermissionGuideController controller{
        platform,
        [this](const GuideContent& content, GuideWindow::Callbacks callbacks) {
            windows.push_back(std::make_shared<GuideRecord>());
            windows.back()->content = content;
            windows.back()->callbacks = std::move(callbacks);
            return std::make_unique<FakeGuideWindow>(windows.back());
        },
        workspace, queue};
    LogCapture log;
    static constexpr auto ax = PermissionKind::accessibility;
};

}  // namespace

TEST_F(GuideControllerTest, SecondRequestJoinsTheOpenGuideAndHandlersRunInOrderAfterGrant) {
    std::vector<std::string> ran;
    controller.ensure(ax, "读选区", [&] { ran.push_back("first"); });
    controller.ensure(ax, "读选区", [&] { ran.push_back("second"); });
    ASSERT_EQ(windows.size(), 1u);
    auto& w = *windows[0];
    EXPECT_EQ(std::tuple(platform->paneOpens, w.shown, w.raised), std::tuple(1, true, 1));
    EXPECT_EQ(w.content.reason, "用于：读选区");
    EXPECT_EQ(w.origin, (Point{1124, 16})) << "no settings window: the screen's corner";
    EXPECT_TRUE(log.contains("permission guide already open: accessibility (brought to front)"));

    platform->inProcess[ax] = true;
    platform->liveAnswers = {true};
    second();
    EXPECT_TRUE(granted(ax));
    EXPECT_EQ(w.status, GuideStatus::granted);
    EXPECT_TRUE(ran.empty()) << "handlers wait for the close delay";
    queue.advance(controller.closeDelay);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
    EXPECT_FALSE(controller.session(ax) || w.shown);

    // Granted by now: a new request runs at once and opens nothing.
    controller.ensure(ax, "r", [&] { ran.push_back("third"); });
    EXPECT_EQ(ran.back(), "third");
    EXPECT_EQ(windows.size(), 1u);
}

TEST_F(GuideControllerTest, LiveChecksRunEveryThirdTickUntilTheInProcessAnswerTurns) {
    controller.ensure(ax, "r", [] {});
    for (int i = 0; i < 9; ++i) second();
    EXPECT_EQ(platform->liveAtTick, (std::vector<int>{3, 6, 9}));

    // A positive in-process answer is checked live on the very next tick: a "no" there
    // wins, a live check with no answer trusts it.
    platform->inProcess[ax] = true;
    platform->liveAnswers = {false};
    second();
    EXPECT_EQ(platform->liveAtTick.back(), 10);
    EXPECT_FALSE(granted(ax));
    second();
    EXPECT_EQ(platform->liveAtTick.back(), 11);
    EXPECT_TRUE(granted(ax));
}

TEST_F(GuideControllerTest, OnlyOneLiveCheckAtATime) {
    std::vector<std::function<void()>> parked;
    controller.runInBackground = [&](std::function<void()> work) { parked.push_back(work); };
    controller.ensure(ax, "r", [] {});
    platform->inProcess[ax] = true;
    for (int i = 0; i < 4; ++i) second();
    ASSERT_EQ(parked.size(), 1u);
    platform->liveAnswers = {true};
    parked[0]();
    queue.runReady();
    EXPECT_TRUE(granted(ax));
}

TEST_F(GuideControllerTest, SkipEndsTheGuideAndOnlyTheSkipHandlersRun) {
    int grantedRuns = 0, skipped = 0;
    controller.ensure(
        PermissionKind::screenRecording, "r", [&] { ++grantedRuns; }, [&] { ++skipped; });
    windows[0]->callbacks.onSkip();
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(controller.session(PermissionKind::screenRecording), nullptr);
    platform->inProcess[PermissionKind::screenRecording] = true;
    queue.advance(5);
    EXPECT_EQ(grantedRuns, 0);
    EXPECT_TRUE(platform->liveAtTick.empty());
}

TEST_F(GuideControllerTest, DragsSetTheStatusAndTheGuideFollowsTheSettingsWindow) {
    platform->settingsFrame = Rect{100, 200, 600, 500};
    controller.ensure(ax, "r", [] {});
    auto& w = *windows[0];
    EXPECT_EQ(w.origin, (Point{716, 300}));
    for (auto [operation, status] :
         {std::pair{"none", GuideStatus::dropMissed}, {"copy", GuideStatus::dropped}}) {
        w.callbacks.onDragEnded(operation);
        EXPECT_EQ(w.status, status);
    }
    w.callbacks.onReopen();
    EXPECT_EQ(platform->paneOpens, 2);

    platform->settingsFrame = Rect{100, 100, 600, 500};
    second();
    EXPECT_EQ(w.origin, (Point{716, 200}));
}

TEST_F(GuideControllerTest, AGuideWithItsOwnSwitchNamesTheProgramsToRestartBeforeClosing) {
    platform->switchable = true;
    platform->restart = {"Firefox", "Writer"};
    controller.ensure(ax, "r", [] {});
    auto& w = *windows[0];
    EXPECT_EQ(std::tuple(platform->paneOpens, w.content.dragPath, w.content.buttonReveal),
              std::tuple(0, "", ""));
    w.callbacks.onSwitch();
    second();
    EXPECT_EQ(w.statusText, "✓ 已打开 · 重启这些程序后才能读到：Firefox、Writer");
    queue.advance(controller.closeDelay);
    EXPECT_TRUE(w.shown) << "the list stays long enough to be read";
    queue.advance(controller.restartNoticeDelay);
    EXPECT_FALSE(w.shown);
}

TEST_F(GuideControllerTest, StartUpStepHonoursTheSkipSwitch) {
    controller.ensureAccessibility(true, [] {});
    EXPECT_TRUE(windows.empty());
    EXPECT_TRUE(log.contains("Pivorel: 辅助功能未授权，引导窗已跳过（--no-permission-guide）"));
    controller.ensureAccessibility(false, [] {});
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0]->content.reason, "用于：选中文字后在旁边弹出下一步小条");
}
