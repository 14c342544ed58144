#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>

#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/BarModel.h"
#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "Fakes/FakeDesktop.h"

using namespace pivorel;
using pivorel::test::FakeBarWindow;
using pivorel::test::FakeWorkspace;

namespace {

std::vector<ActionID> firstBuiltins(std::size_t n) {
    const auto& all = ActionID::builtins();
    return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)};
}

}  // namespace

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
    EXPECT_EQ(BarPlacement::distance({100, 130}, r), 0);
    EXPECT_EQ(BarPlacement::distance({150, 100}, r), 0);
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
