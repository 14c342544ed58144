#include "BrisendoKit/Selection/SelectionDetector.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Platform/GestureEvent.h"

using namespace pivorel;
using namespace std::chrono_literals;

using D = SelectionDetector;
using Commands = D::Commands;
using Event = D::Event;
using Result = D::ReadResult;

namespace {

const std::optional<std::string> safari = "com.apple.Safari";
const std::optional<std::string> terminal = "com.apple.Terminal";

class SelectionDetectorTest : public ::testing::Test {
  protected:
    D detector{D::Config{}};
    TimePoint t0 = fromUnixSeconds(1'750'000'000);

    // Press at `from`, drag to `to`, release there; returns what the release answered.
    Commands select(Point from, Point to, std::optional<std::string> app = safari,
                    std::int64_t clicks = 1, bool shift = false) {
        detector.handle(Event::MouseDown{clicks, from}, app, t0);
        detector.handle(Event::MouseDragged{to}, app, t0);
        return detector.handle(Event::MouseUp{clicks, to, shift}, app, t0);
    }
    Commands drag(std::optional<std::string> app = safari) { return select({0, 0}, {50, 0}, app); }
    Commands read(Result result, std::optional<std::string> app = std::nullopt) {
        return detector.readFinished(detector.token(), result, app, t0);
    }
    std::optional<D::Miss> hotkeyAfter(std::chrono::nanoseconds age) {
        return detector.hotkeyPressed(t0 + age);
    }
    Commands hideFor(D::HideReason reason) { return {D::Command::Hide{reason}}; }
    void showBar(const std::string& text) {
        drag();
        ASSERT_EQ(read(Result::Text{text}).size(), 1u);
    }
};

TEST_F(SelectionDetectorTest, DragSelectionIsReadThenShown) {
    const Point from{-30000, -30000}, to{-29800, -30000};
    const Commands up = select(from, to);
    EXPECT_EQ(up, (Commands{D::Command::Read{detector.token(), 0.08}}));
    EXPECT_EQ(read(Result::Text{"\u3000 serendipity\r\n"}, safari),
              (Commands{D::Command::Show{"serendipity", from, to, safari}}));
    EXPECT_EQ(detector.visibleText(), "serendipity");

    // The application is the one in front when the text arrives, else the gesture's.
    select(from, to, terminal);
    EXPECT_EQ(std::get<D::Command::Show>(read(Result::Text{"a"}).at(0).value).app, terminal);
    select(from, to, std::nullopt);
    EXPECT_EQ(std::get<D::Command::Show>(read(Result::Text{"b"}, safari).at(0).value).app, safari);
}

TEST_F(SelectionDetectorTest, OnlyDragsBeyondTheThresholdDoubleClicksAndShiftClicksSelect) {
    const auto before = detector.token();
    EXPECT_TRUE(select({10, 10}, {14, 10}).empty());  // exactly 4.0 points
    EXPECT_EQ(detector.token(), before + 1);          // only the press counted
    EXPECT_EQ(select({10, 10}, {14.01, 10}).size(), 1u);
    EXPECT_EQ(select({0, 0}, {3, 4.0001}).size(), 1u);

    // A drag that comes back to where it began is still a drag.
    detector.handle(Event::MouseDown{1, {0, 0}}, safari, t0);
    detector.handle(Event::MouseDragged{{0, 9}}, safari, t0);
    detector.handle(Event::MouseDragged{{0, 0}}, safari, t0);
    EXPECT_EQ(detector.handle(Event::MouseUp{1, {0, 0}, false}, safari, t0).size(), 1u);

    EXPECT_EQ(select({5, 5}, {5, 5}, safari, 2).size(), 1u);        // double click
    EXPECT_EQ(select({5, 5}, {5, 5}, safari, 1, true).size(), 1u);  // shift-click
    // The release's count decides, not the press's.
    detector.handle(Event::MouseDown{2, {5, 5}}, safari, t0);
    EXPECT_TRUE(detector.handle(Event::MouseUp{1, {5, 5}, false}, safari, t0).empty());

    // A release whose press we never saw does nothing at all.
    D fresh{D::Config{}};
    EXPECT_TRUE(fresh.handle(Event::MouseUp{3, {1, 1}, true}, safari, t0).empty());
    EXPECT_EQ(fresh.hotkeyPressed(t0), std::nullopt);
}

TEST_F(SelectionDetectorTest, EmptyReadsAreRetriedOnceThenReportedAsOneMiss) {
    drag(terminal);
    const auto t = detector.token();
    EXPECT_EQ(read(Result::Empty{"no-selection"}), (Commands{D::Command::Read{t, 0.25}}));
    EXPECT_TRUE(read(Result::Empty{"no-selection"}).empty());
    EXPECT_EQ(hotkeyAfter(1100ms), (D::Miss{terminal, "no-selection", 1100}));
    EXPECT_EQ(hotkeyAfter(1200ms), std::nullopt);

    // White space alone is as good as nothing.
    drag();
    EXPECT_EQ(read(Result::Text{" \n"}).size(), 1u);
    EXPECT_TRUE(read(Result::Text{"\t"}).empty());
    EXPECT_EQ(hotkeyAfter(10ms)->reason, "blank");

    // Unavailable fails at once; an ignored target is never a miss.
    drag();
    EXPECT_TRUE(read(Result::Unavailable{"timeout"}).empty());
    EXPECT_EQ(hotkeyAfter(0ms), (D::Miss{safari, "timeout", 0}));
    drag();
    EXPECT_TRUE(read(Result::Ignored{"secure-field"}).empty());
    EXPECT_EQ(hotkeyAfter(0ms), std::nullopt);

    // A miss is kept for three seconds; a clock set back gives it age 0.
    drag();
    EXPECT_EQ(hotkeyAfter(3010ms), std::nullopt);
    EXPECT_EQ(hotkeyAfter(3s)->ageMs, 3000);  // the record stayed
    drag();
    EXPECT_EQ(detector.hotkeyPressed(t0 - 5s)->ageMs, 0);
    showBar("text");
    EXPECT_EQ(hotkeyAfter(1s), std::nullopt);
}

TEST_F(SelectionDetectorTest, ResultsOfAnOlderReadAreDropped) {
    const std::vector<Event> interruptions = {Event::KeyDown{0}, Event::Scroll{},
                                              Event::MouseDown{1, {0, 0}}};
    for (const Event& e : interruptions) {
        drag();
        const auto t = detector.token();
        detector.handle(e, safari, t0);
        EXPECT_TRUE(detector.readFinished(t, Result::Text{"late"}, safari, t0).empty());
        EXPECT_TRUE(detector.readFinished(t, Result::Empty{"x"}, safari, t0).empty());
    }
    // Switching applications does not: the read still belongs to the gesture.
    drag();
    detector.handle(Event::AppActivated{terminal}, terminal, t0);
    EXPECT_EQ(read(Result::Text{"kept"}).size(), 1u);
}

TEST_F(SelectionDetectorTest, GateSkipsWithAReasonAndStillRecordsTheGesture) {
    const auto missFor = [&](const std::optional<std::string>& app) {
        const auto before = detector.token();
        EXPECT_TRUE(drag(app).empty());
        EXPECT_EQ(detector.token(), before + 2);
        const auto miss = hotkeyAfter(2s);
        return miss ? miss->reason : "none";
    };
    D::Config config;
    config.excluded = {"com.apple.Terminal"};
    config.pausedUntil = t0 + 1s;
    config.enabled = false;
    detector.setConfig(config);
    EXPECT_EQ(missFor(terminal), "disabled");
    config.enabled = true;
    detector.setConfig(config);
    EXPECT_EQ(missFor(terminal), "paused");
    config.pausedUntil = t0;  // a pause that has ended
    detector.setConfig(config);
    EXPECT_EQ(missFor(terminal), "excluded");
    EXPECT_EQ(missFor("com.morvale.pivorel"), "excluded");
    EXPECT_EQ(drag("com.apple.terminal").size(), 1u);  // exact comparison
    EXPECT_EQ(drag(std::nullopt).size(), 1u);
    EXPECT_EQ(hotkeyAfter(500ms)->reason, "pending");
}

TEST_F(SelectionDetectorTest, VisibleBarHidesOnceWithTheReason) {
    const std::vector<std::pair<Event, D::HideReason>> cases = {
        {Event::MouseDown{1, {0, 0}}, D::HideReason::mouseDown},
        {Event::KeyDown{53}, D::HideReason::esc},
        {Event::KeyDown{36}, D::HideReason::key},
        {Event::Scroll{}, D::HideReason::scroll},
        {Event::AppActivated{std::nullopt}, D::HideReason::appSwitch},
        {Event::MouseMoved{180.5}, D::HideReason::mouseAway}};
    for (const auto& [event, reason] : cases) {
        showBar("text");
        EXPECT_TRUE(detector.handle(Event::MouseMoved{180.0}, safari, t0).empty());
        EXPECT_EQ(detector.handle(event, safari, t0), hideFor(reason));
        EXPECT_FALSE(detector.isBarVisible());
        EXPECT_TRUE(detector.handle(event, safari, t0).empty());
    }
    const auto before = detector.token();
    detector.handle(Event::KeyDown{53}, safari, t0);
    detector.handle(Event::AppActivated{safari}, safari, t0);
    detector.handle(Event::MouseMoved{500}, safari, t0);
    EXPECT_EQ(detector.token(), before + 1);
}

TEST_F(SelectionDetectorTest, SameTextIsShownOnceAndStateSurvivesNewSettings) {
    showBar("hello");
    EXPECT_TRUE(read(Result::Text{" hello "}).empty());
    EXPECT_EQ(read(Result::Text{"other"}).size(), 1u);
    detector.barDismissed();
    EXPECT_EQ(read(Result::Text{"other"}).size(), 1u);

    D::Config paused;
    paused.pausedUntil = t0 + 1h;
    const auto token = detector.token();
    detector.setConfig(paused);
    EXPECT_EQ(detector.token(), token);
    EXPECT_EQ(detector.visibleText(), "other");
    EXPECT_EQ(detector.handle(Event::Scroll{}, safari, t0), hideFor(D::HideReason::scroll));
    EXPECT_TRUE(drag().empty());
}

}  // namespace
