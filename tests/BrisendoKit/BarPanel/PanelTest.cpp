#include "BrisendoKit/BarPanel/PanelController.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/BarModel.h"
#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "Fakes/FakeDesktop.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

std::vector<ActionID> firstBuiltins(std::size_t n) {
    const auto& all = ActionID::builtins();
    return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)};
}

std::shared_ptr<PanelModel> listOf(std::size_t n) {
    return std::make_shared<PanelModel>("hello", "Safari", firstBuiltins(n), std::nullopt,
                                        ActionCatalog::builtin(), true);
}

// Answers nothing; tells whether its one stream was stopped.
struct SilentChat final : ChatStreaming {
    struct Stop final : Cancellable {
        explicit Stop(bool* c) : cancelled(c) {}
        void cancel() override { *cancelled = true; }
        bool* cancelled;
    };
    std::unique_ptr<Cancellable> stream(std::vector<ChatMessage>, OnPiece, OnFinish) override {
        return std::make_unique<Stop>(&cancelled);
    }
    bool cancelled = false;
};

class PanelControllerTest : public ::testing::Test {
  protected:
    VirtualClock clock;
    ManualMainQueue queue{clock};
    FakePanelWindow window;
    FakeWorkspace workspace;
    FakeInputMonitor input;
    PanelController panel{window, workspace, input, queue};
    std::vector<std::string> reasons;
    Connection closeLog =
        panel.closeLogged.connect([this](const std::string& r) { reasons.push_back(r); });
};

}  // namespace

TEST(PanelModel, BuildsAtMostFourteenRowsWithTitlesSymbolsAndHints) {
    ActionConfig config;
    config.custom = {{"custom:0", "动作0", "star", "https://s0.example/?q={text}", {}},
                     {"custom:1", "动作1", "star", "myapp:///search?q={url}", {}}};
    std::vector<ActionID> ranking = {ActionID("custom:0"), ActionID("custom:1")};
    for (int round = 0; round < 2; ++round)
        ranking.insert(ranking.end(), ActionID::builtins().begin(), ActionID::builtins().end());

    const PanelModel model("选中", std::nullopt, ranking, std::nullopt, ActionCatalog(config),
                           false);
    ASSERT_EQ(model.rows().size(), 14u);
    EXPECT_EQ(model.rows()[0],
              (PanelRow{ActionID("custom:0"), "动作0", "star", "自定义 · s0.example"}));
    EXPECT_EQ(model.rows()[2], (PanelRow{ActionID::ask(), ActionID::ask().title(),
                                         ActionID::ask().symbol(), "解释它是什么"}));
    EXPECT_EQ(model.rows()[13].action, ActionID::paste());

    for (auto [id, text, hint] : std::vector<std::tuple<ActionID, const char*, const char*>>{
             {ActionID::translate(), "你好世界", "译成英文"},
             {ActionID::translate(), "你好 world", "译成中文"},
             {ActionID::todo(), "买牛奶", "提醒事项"}})
        EXPECT_EQ(PanelModel::hint(id, text, std::nullopt), hint) << text;
    const std::string due = PanelModel::hint(ActionID::todo(), "明天下午3点交报告", std::nullopt);
    EXPECT_EQ(due.rfind("提醒事项 · ", 0), 0u) << due;
    EXPECT_NE(due.find("15:00"), std::string::npos) << due;
}

TEST_F(PanelControllerTest, KeysChooseMoveAndCloseOnlyWhereTheyShould) {
    EXPECT_FALSE(window.press(36));  // no model
    auto model = listOf(5);
    std::vector<std::int64_t> chosen;
    model->onChoose = [&](std::int64_t i) { chosen.push_back(i); };
    panel.show(model, {500, 600});
    EXPECT_TRUE(panel.isKeyWindow());

    for (int key : {126, 125, 125}) EXPECT_TRUE(window.press(key));  // up wraps to the last row
    EXPECT_EQ(model->highlighted(), 1);
    for (int key : {36, 76}) EXPECT_TRUE(window.press(key));
    EXPECT_TRUE(window.press(20, "3"));  // direct choice, highlight untouched
    EXPECT_TRUE(window.press(26, "7"));  // beyond the rows: swallowed
    EXPECT_EQ(chosen, (std::vector<std::int64_t>{1, 1, 2}));
    EXPECT_EQ(model->highlighted(), 1);
    for (auto [key, text] : {std::pair{29, "0"}, {0, "a"}}) EXPECT_FALSE(window.press(key, text));
    EXPECT_FALSE(window.press(36, "\r", KeyEvent::shiftFlag));
    EXPECT_FALSE(window.press(18, "1", KeyEvent::commandFlag));
    EXPECT_EQ(chosen.size(), 3u);

    model->setMode(PanelMode::ask(AskKind::ask));
    EXPECT_FALSE(window.press(36));  // reaches the follow-up field
    EXPECT_FALSE(window.press(18, "1"));
    EXPECT_TRUE(window.press(53));
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(window.press(53));  // handled, but nothing more to report
    EXPECT_EQ(reasons, (std::vector<std::string>{"esc"}));
}

TEST_F(PanelControllerTest, NoticesCloseAfterTheirDelayUnlessSomethingCameFirst) {
    panel.show(listOf(3), {500, 600});
    panel.notice("已复制", 2);
    EXPECT_TRUE(panel.model()->mode() == PanelMode::notice("已复制"));
    queue.advance(1);
    panel.notice("已发送", 2);  // keeps the panel two more seconds
    queue.advance(1.9);
    EXPECT_TRUE(panel.isVisible());
    queue.advance(0.2);
    EXPECT_FALSE(panel.isVisible());

    // A pending notice never closes the panel shown after it.
    panel.show(listOf(3), {500, 600});
    panel.notice("旧的", 1);
    panel.show(listOf(4), {500, 600});
    queue.advance(5);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(reasons, (std::vector<std::string>{"notice-timeout", "replaced"}));
}

TEST_F(PanelControllerTest, ClosesOnceForEachShowAndTearsEverythingDown) {
    auto first = listOf(3);
    panel.show(first, {500, 600});
    auto chat = std::make_shared<SilentChat>();
    auto second = listOf(3);
    second->ask = std::make_shared<AskModel>(AskKind::ask, chat, std::vector<ChatMessage>{});
    second->ask->start();
    panel.show(second, {500, 600});
    first->closeRequested.emit();  // an old model's close button leaves the new panel alone
    EXPECT_TRUE(panel.isVisible());
    second->closeRequested.emit();
    EXPECT_TRUE(chat->cancelled);
    EXPECT_FALSE(second->ask->isStreaming());
    panel.close("url-close");
    EXPECT_EQ(reasons, (std::vector<std::string>{"replaced", "model-close"}));
    EXPECT_EQ(panel.lastCloseReason(), "model-close");
    EXPECT_EQ(panel.model(), nullptr);
    EXPECT_EQ(window.content, nullptr);
    EXPECT_EQ(input.downs.size(), 0u);
    EXPECT_EQ(second->modeChanged.size(), 0u);
}

TEST_F(PanelControllerTest, CallbacksOutliveTheirPanelAndTheController) {
    // A row that closes the panel keeps its own state through the call.
    std::vector<std::string> seen;
    auto model = listOf(3);
    PanelModel* raw = model.get();
    model->onChoose = [this, &seen, note = std::string(64, 'n')](std::int64_t) {
        panel.close("action-opened");
        seen.push_back(note);
    };
    panel.show(std::move(model), {500, 600});  // the controller is now the only owner
    raw->choose(0);
    queue.runReady();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(reasons, (std::vector<std::string>{"action-opened"}));

    model = listOf(3);
    auto other = std::make_unique<PanelController>(window, workspace, input, queue);
    other->show(model, {500, 600});
    other->notice("稍后", 1);
    other.reset();
    EXPECT_FALSE(window.press(53));
    model->closeRequested.emit();
    model->setMode(PanelMode::list());
    queue.advance(2);
    EXPECT_EQ(input.downs.size(), 0u);
}

TEST_F(PanelControllerTest, OutsideClicksCloseListsAndNoticesButNotConversations) {
    auto model = listOf(3);
    panel.show(model, {1000, 600});
    workspace.pointer = {panel.frame().minX() + 30, panel.frame().minY() + 30};
    input.downs.emit();
    queue.runReady();
    EXPECT_TRUE(panel.isVisible());  // the press was on the panel itself

    workspace.pointer = {100, 100};
    model->setMode(PanelMode::ask(AskKind::translate));
    input.downs.emit();
    queue.runReady();
    EXPECT_TRUE(panel.isVisible());
    model->setMode(PanelMode::notice("好"));
    input.downs.emit();
    EXPECT_TRUE(panel.isVisible());  // handled on the main queue, not in the monitor
    queue.runReady();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(reasons, (std::vector<std::string>{"outside-click"}));
}

TEST_F(PanelControllerTest, TheClickThatOpenedThePanelNeverClosesIt) {
    // The monitor may report the click on the bar only once the panel is up.
    const Point spot{1040, 640};
    const struct {
        const char* what;
        std::vector<Point> movesBefore, presses;
        bool closes;
    } cases[] = {
        {"the opening click, heard late", {}, {{1042, 643}}, false},
        {"a second click on the same spot", {}, {spot, spot}, true},
        {"back on the spot after moving away", {{1100, 700}, spot}, {spot}, true},
        {"a tremble is no moving away", {{1041, 641}}, {spot}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        workspace.pointer = spot;
        panel.show(listOf(3), {1000, 600});
        for (const Point p : c.movesBefore) input.moves.emit(p), queue.runReady();
        for (const Point p : c.presses) {
            workspace.pointer = p;
            input.downs.emit();
            queue.runReady();
        }
        EXPECT_EQ(!panel.isVisible(), c.closes);
        panel.close("esc");
    }

    // Motion is heard only until the pointer leaves the spot.
    workspace.pointer = spot;
    panel.show(listOf(3), {1000, 600});
    EXPECT_EQ(input.moves.size(), 1u);
    input.moves.emit({1100, 700});
    queue.runReady();
    EXPECT_EQ(input.moves.size(), 0u);
}

TEST_F(PanelControllerTest, APanelALinkOpenedTakesTheKeyboardOnlyOncePointedAt) {
    // Moving into it, or clicking in it; a move elsewhere or a mode change does not.
    for (const bool byClick : {false, true}) {
        SCOPED_TRACE(byClick ? "click" : "move");
        workspace.pointer = {100, 100};
        auto model = listOf(3);
        panel.show(model, {1000, 600}, PanelController::Keyboard::whenPointed);
        EXPECT_TRUE(panel.isVisible());
        input.moves.emit({120, 120}), queue.runReady();
        model->setMode(PanelMode::ask(AskKind::translate)), queue.runReady();
        EXPECT_FALSE(panel.isKeyWindow());
        const Point inside{panel.frame().minX() + 5, panel.frame().minY() + 5};
        if (byClick) {
            workspace.pointer = inside;
            input.downs.emit();
        } else {
            input.moves.emit(inside);
        }
        queue.runReady();
        EXPECT_TRUE(panel.isKeyWindow());
        EXPECT_TRUE(panel.isVisible());
        panel.close("esc");
    }
}

TEST_F(PanelControllerTest, ModeChangesKeepTheTopLeftCornerThenStayOnScreen) {
    auto model = listOf(5);  // 376 x 306 with its margins
    panel.show(model, {200, 600});
    EXPECT_EQ(panel.frame(), (Rect{188, 306, 376, 306}));
    // The ask panel is 496 x 436; near the right edge it is pulled back left unless unclamped.
    for (auto [at, clamps, x] : {std::tuple{200.0, true, 188.0},
                                 {1000.0, true, 1440.0 - 496 + 14},
                                 {1000.0, false, 988.0}}) {
        panel.clampsToScreen = clamps;
        panel.show(model = listOf(5), {at, 600});
        model->setMode(PanelMode::ask(AskKind::ask));
        queue.runReady();
        EXPECT_EQ(panel.frame(), (Rect{x, 612 - 436, 496, 436})) << at;
    }
}

TEST(BarModel, TakesTheConfiguredCountClampedToThreeToSixAndNamesCustomActions) {
    const auto& catalog = ActionCatalog::builtin();
    const auto ranking = firstBuiltins(13);
    const std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    for (auto [count, n] : {std::pair{lowest, 3u}, {0, 3u}, {2, 3u}, {5, 5u}, {7, 6u}})
        EXPECT_EQ(BarModel(ranking, count, catalog).items().size(), n) << count;
    EXPECT_EQ(BarModel(firstBuiltins(2), 4, catalog).items().size(), 2u);

    ActionConfig config;
    config.custom = {
        {"custom:d", "搜豆瓣", "magnifyingglass.circle", "https://douban.com/?q={text}", {}}};
    const BarModel custom({ActionID("custom:d"), ActionID::copy()}, 4, ActionCatalog(config));
    EXPECT_EQ(custom.items()[0], BarItem(ActionID("custom:d"), "搜豆瓣", "magnifyingglass.circle"));
    EXPECT_EQ(custom.items()[1], BarItem(ActionID::copy()));  // the action's own texts
}

TEST(BarPlacement, PutsTheContentAboveTheGestureOrBelowItNearTheTop) {
    const Rect v{0, 0, 1440, 875};
    const Size size{140, 56};  // content 112 x 28
    // Centred on the release point, 22 points above the higher point.
    EXPECT_EQ(BarPlacement::origin(size, {100, 300}, {400, 320}, v),
              (Point{400 - 56 - 14, 342 - 14}));
    // Too close to the top: 22 points below the lower point instead.
    EXPECT_EQ(BarPlacement::origin(size, {100, 860}, {400, 840}, v),
              (Point{400 - 56 - 14, 840 - 22 - 28 - 14}));
    // 4 points inside the left and bottom edges.
    EXPECT_EQ(BarPlacement::origin(size, {5, 300}, {5, 300}, v).x, -10);
    EXPECT_EQ(BarPlacement::origin(size, {400, -100}, {400, -100}, v).y, -10);
    // A frame too small for the bar: the right and top limits win.
    EXPECT_EQ(BarPlacement::origin(size, {0, 0}, {0, 0}, {0, 0, 50, 20}),
              (Point{50 - 140 + 10, 20 - 56 + 10}));

    // Distance to the rectangle: zero on it, Euclidean to its nearest point outside.
    const Rect r{100, 100, 50, 30};
    for (auto [p, d] : {std::pair{Point{97, 134}, 5.0},
                        {Point{120, 130}, 0.0},
                        {Point{160, 110}, 10.0},
                        {Point{120, 99}, 1.0}})
        EXPECT_DOUBLE_EQ(BarPlacement::distance(p, r), d) << p.x << "," << p.y;
}

TEST(BarController, ShowsOnTheScreenOfTheReleasePointAndAnswersWhereItIs) {
    FakeBarWindow window;
    FakeWorkspace workspace;
    workspace.screenList.push_back({{1440, 0, 1000, 800}, {1440, 0, 1000, 780}});
    BarController bar(window, workspace);
    auto model = std::make_shared<BarModel>(firstBuiltins(13), 4, ActionCatalog::builtin());

    bar.show(model, {2400, 300}, {2435, 300});  // near the right edge of the second screen
    ASSERT_TRUE(bar.isVisible());
    EXPECT_EQ(window.content, model);
    const Rect f = bar.frame();
    EXPECT_EQ(f.maxX() - 14, 2440 - 4);
    EXPECT_EQ(bar.contentOrigin(), (Point{f.minX() + 14, f.minY() + 14}));
    EXPECT_EQ(bar.distance(bar.contentOrigin()), 0);
    EXPECT_GT(bar.distance({f.minX() + 1, f.minY() + 20}), 0);  // in the shadow margin

    bar.show(model, {-500, -500}, {-500, -500});  // off every screen: the main one
    EXPECT_EQ(bar.contentOrigin().x, 4);

    bar.hide();
    EXPECT_EQ(window.content, nullptr);
    workspace.screenList.clear();
    bar.show(model, {10, 10}, {10, 10});
    EXPECT_FALSE(bar.isVisible());
    EXPECT_EQ(bar.model(), nullptr);
}
