#include "BrisendoKit/BarPanel/PanelController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/BarModel.h"
#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/BarPanel/PanelPlacement.h"
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

std::string hintOf(const ActionID& id, const std::string& selection) {
    return PanelModel::hint(id, selection, std::nullopt);
}

// Answers nothing; tells whether its one stream was stopped.
struct SilentChat final : ChatStreaming, Cancellable {
    std::unique_ptr<Cancellable> stream(std::vector<ChatMessage>, OnPiece, OnFinish) override {
        return std::make_unique<Stop>(this);
    }
    void cancel() override { cancelled = true; }
    struct Stop final : Cancellable {
        explicit Stop(SilentChat* c) : chat(c) {}
        void cancel() override { chat->cancel(); }
        SilentChat* chat;
    };
    bool cancelled = false;
};

class PanelControllerTest : public ::testing::Test {
  protected:
    PanelControllerTest() {
        closeLog = panel.closeLogged.connect(
            [this](const std::string& reason) { reasons.push_back(reason); });
    }

    VirtualClock clock;
    ManualMainQueue queue{clock};
    FakePanelWindow window;
    FakeWorkspace workspace;
    FakeInputMonitor input;
    PanelController panel{window, workspace, input, queue};
    std::vector<std::string> reasons;
    Connection closeLog;
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
    EXPECT_TRUE(model.mode().isList());

    for (auto [id, text, hint] : std::vector<std::tuple<ActionID, const char*, const char*>>{
             {ActionID::translate(), "你好世界", "译成英文"},
             {ActionID::translate(), "你好 world", "译成中文"},
             {ActionID::kagi(), "x", "在浏览器搜"},
             {ActionID("future"), "x", "自定义"},
             {ActionID::todo(), "买牛奶", "提醒事项"}})
        EXPECT_EQ(hintOf(id, text), hint) << text;
    const std::string due = hintOf(ActionID::todo(), "明天下午3点交报告");
    EXPECT_EQ(due.rfind("提醒事项 · ", 0), 0u) << due;
    EXPECT_NE(due.find("15:00"), std::string::npos) << due;
}

TEST(PanelPlacement, OpensBelowRightOfThePointAndStaysInside) {
    const Rect v{0, 0, 1440, 875};
    const Size size{376, 206};
    EXPECT_EQ(PanelPlacement::origin(size, {100, 500}, v, false), (Point{88, 500 - 6 + 18 - 206}));
    EXPECT_EQ(PanelPlacement::origin(size, {1430, 20}, v, false), (Point{1418, -174}));
    EXPECT_EQ(PanelPlacement::origin(size, {1430, 20}, v, true), (Point{1440 - 376 + 14, -14}));
    EXPECT_EQ(PanelPlacement::clamped({-100, 800, 376, 206}, v),
              (Rect{-14, 875 - 206 + 14, 376, 206}));
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
    EXPECT_EQ(reasons, (std::vector<std::string>{"esc"}));
    EXPECT_TRUE(window.press(53));  // handled, but nothing more to report
    EXPECT_EQ(reasons.size(), 1u);
}

TEST_F(PanelControllerTest, NoticesCloseAfterTheirDelayUnlessSomethingCameFirst) {
    panel.notice("无模型", 1);
    EXPECT_EQ(queue.pending(), 0u);

    panel.show(listOf(3), {500, 600});
    panel.notice("已复制", 2);
    EXPECT_TRUE(panel.model()->mode() == PanelMode::notice("已复制"));
    queue.advance(1);
    panel.notice("已发送", 2);  // keeps the panel two more seconds
    queue.advance(1.9);
    EXPECT_TRUE(panel.isVisible());
    queue.advance(0.2);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(panel.lastCloseReason(), "notice-timeout");

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

TEST_F(PanelControllerTest, ARowThatClosesThePanelOutlivesItsOwnCall) {
    std::vector<std::string> seen;
    auto model = listOf(3);
    PanelModel* raw = model.get();
    model->onChoose = [this, &seen, note = std::string(64, 'n')](std::int64_t) {
        panel.close("action-opened");
        seen.push_back(note);  // the callback's own state, after the close
    };
    panel.show(std::move(model), {500, 600});  // the controller is now the only owner
    raw->choose(0);
    queue.runReady();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(reasons, (std::vector<std::string>{"action-opened"}));
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
    // The monitor may report the click on the bar only once the panel is up, the pointer
    // still where it was; anything else outside is a click that closes.
    const Point spot{1040, 640};
    struct Case {
        const char* what;
        std::vector<Point> movesBefore;
        std::vector<Point> presses;
        bool closes;
    };
    const Case cases[] = {
        {"the opening click, heard late", {}, {{1042, 643}}, false},
        {"a second click on the same spot", {}, {spot, spot}, true},
        {"back on the spot after moving away", {{1100, 700}, spot}, {spot}, true},
        {"a tremble is no moving away", {{1041, 641}}, {spot}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        workspace.pointer = spot;
        panel.show(listOf(3), {1000, 600});
        for (const Point p : c.movesBefore) {
            input.moves.emit(p);
            queue.runReady();
        }
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

TEST_F(PanelControllerTest, OnlyListsAndConversationsHoldTheKeyboard) {
    auto model = listOf(0);
    model->setMode(PanelMode::notice("已复制"));
    panel.show(model, {500, 600});
    EXPECT_TRUE(panel.isVisible());
    EXPECT_FALSE(panel.isKeyWindow());
    for (auto [mode, key] : {std::pair{PanelMode::list(), true},
                             {PanelMode::notice("好"), false},
                             {PanelMode::ask(AskKind::ask), true}}) {
        model->setMode(mode);
        queue.runReady();
        EXPECT_EQ(panel.isKeyWindow(), key);
    }
    EXPECT_TRUE(panel.isVisible());
}

TEST_F(PanelControllerTest, ModeChangesKeepTheTopLeftCornerThenStayOnScreen) {
    auto model = listOf(5);  // 376 x 306 with its margins
    panel.show(model, {200, 600});
    EXPECT_EQ(panel.frame(), (Rect{188, 306, 376, 306}));
    model->setMode(PanelMode::ask(AskKind::ask));
    queue.runReady();
    EXPECT_EQ(panel.frame(), (Rect{188, 612 - 436, 496, 436}));

    panel.show(model = listOf(5), {1000, 600});
    model->setMode(PanelMode::ask(AskKind::ask));
    queue.runReady();
    EXPECT_EQ(panel.frame(), (Rect{1440 - 496 + 14, 612 - 436, 496, 436}));  // pulled back left

    panel.clampsToScreen = false;
    panel.show(model = listOf(5), {1000, 600});
    model->setMode(PanelMode::ask(AskKind::ask));
    queue.runReady();
    EXPECT_EQ(panel.frame(), (Rect{988, 612 - 436, 496, 436}));
}

TEST_F(PanelControllerTest, CallbacksDoNothingOnceTheControllerIsGone) {
    auto model = listOf(3);
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

TEST(BarModel, TakesTheConfiguredCountClampedToThreeToSixAndNamesCustomActions) {
    const auto& catalog = ActionCatalog::builtin();
    const auto ranking = firstBuiltins(13);
    const std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    for (auto [count, n] : {std::pair{lowest, 3u}, {0, 3u}, {2, 3u}, {5, 5u}, {7, 6u}})
        EXPECT_EQ(BarModel(ranking, count, catalog).items().size(), n) << count;
    EXPECT_EQ(BarModel(firstBuiltins(2), 4, catalog).items().size(), 2u);
    EXPECT_TRUE(BarModel({}, 4, catalog).items().empty());

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
    // A release 5 points from the left edge keeps the content exactly 4 points inside.
    EXPECT_EQ(BarPlacement::origin(size, {5, 300}, {5, 300}, v).x, -10);
    // A frame too small for the bar: the right and top limits win.
    EXPECT_EQ(BarPlacement::origin(size, {0, 0}, {0, 0}, {0, 0, 50, 20}),
              (Point{50 - 140 + 10, 20 - 56 + 10}));
}

TEST(BarPlacement, KeepsTheContentFourPointsInsideWheneverItFits) {
    std::mt19937 rng(20240501);
    auto real = [&](double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(rng); };
    for (int i = 0; i < 20000 && !HasFailure(); ++i) {
        const Rect v{real(-3000, 3000), real(-2000, 2000), real(50, 3000), real(40, 2000)};
        const Size size{real(28, 900), real(28, 200)};
        const Point down{real(v.minX() - 200, v.maxX() + 200),
                         real(v.minY() - 200, v.maxY() + 200)};
        const Point up{real(v.minX() - 200, v.maxX() + 200), real(v.minY() - 200, v.maxY() + 200)};
        const Point o = BarPlacement::origin(size, down, up, v);
        const Rect content = Rect{o.x, o.y, size.width, size.height}.insetBy(14);
        const Rect allowed = v.insetBy(4);
        if (content.width <= allowed.width) {
            EXPECT_GE(content.minX(), allowed.minX() - 1e-9);
            EXPECT_LE(content.maxX(), allowed.maxX() + 1e-9);
        }
        if (content.height <= allowed.height) {
            EXPECT_GE(content.minY(), allowed.minY() - 1e-9);
            EXPECT_LE(content.maxY(), allowed.maxY() + 1e-9);
        }
    }
}

TEST(BarPlacement, DistanceIsZeroOnTheRectangleAndGrowsOutside) {
    const Rect r{100, 100, 50, 30};
    EXPECT_EQ(BarPlacement::distance({97, 134}, r), 5);  // 3 left, 4 above
    std::mt19937 rng(7);
    std::uniform_real_distribution<> coord(0, 250);
    for (int i = 0; i < 5000 && !HasFailure(); ++i) {
        const Point p{coord(rng), coord(rng)};
        // Against the nearest point of the rectangle.
        const Point q{std::clamp(p.x, r.minX(), r.maxX()), std::clamp(p.y, r.minY(), r.maxY())};
        const double d = BarPlacement::distance(p, r);
        EXPECT_EQ(d == 0, p == q);
        EXPECT_DOUBLE_EQ(d, std::hypot(p.x - q.x, p.y - q.y));
    }
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
    EXPECT_EQ(bar.model(), model);
    const Rect f = bar.frame();
    EXPECT_EQ(f.maxX() - 14, 2440 - 4);
    EXPECT_EQ(bar.contentOrigin(), (Point{f.minX() + 14, f.minY() + 14}));
    EXPECT_EQ(bar.distance(bar.contentOrigin()), 0);
    EXPECT_GT(bar.distance({f.minX() + 1, f.minY() + 20}), 0);  // in the shadow margin

    // Off every screen the main screen is used; unclamped the bar sits centred on the point.
    bar.show(model, {-500, -500}, {-500, -500});
    EXPECT_EQ(bar.contentOrigin().x, 4);
    bar.clampsToScreen = false;
    bar.show(model, {-500, -500}, {-500, -500});
    EXPECT_EQ(bar.frame().origin(), (Point{-500 - f.width / 2, -500}));

    bar.hide();
    EXPECT_EQ(window.content, nullptr);
    workspace.screenList.clear();
    bar.show(model, {10, 10}, {10, 10});
    EXPECT_FALSE(bar.isVisible());
    EXPECT_EQ(bar.model(), nullptr);
}
