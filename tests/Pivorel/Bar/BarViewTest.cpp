#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "BrisendoKit/BarPanel/BarModel.h"
#include "Pivorel/Bar/BarItemView.h"
#include "Pivorel/Bar/BarPanel.h"
#include "Pivorel/Bar/BarView.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/ViewTesting.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

std::shared_ptr<BarModel> fourItems() {
    return std::make_shared<BarModel>(std::vector<BarItem>{
        BarItem(ActionID::copy()), BarItem(ActionID::google()), BarItem(ActionID::translate()),
        BarItem(ActionID("custom:1"), std::string("Perplexity"),
                std::string("sparkle.magnifyingglass"))});
}

}  // namespace

TEST(BarView, HighlightsOnlyTheFirstItemOnTheAccentColourInBothAppearances) {
    qtApp("offscreen");
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        BarView view(fourItems());
        view.setPalette(PivorelStyle::palette(dark));
        const QColor backdrop = dark ? QColor(70, 90, 120) : QColor(200, 215, 235);
        const QImage image = renderOver(view, backdrop);
        keepScreenshot(image, dark ? "view-bar-dark" : "view-bar-light");

        const QColor accent = PivorelStyle::accent(dark);
        const auto& items = view.itemViews();
        ASSERT_EQ(items.size(), 4u);
        const QRect first = items[0]->geometry();
        // The capsule behind the first icon is accent-coloured, the glyph on it white.
        EXPECT_GT(countNear(image, first, accent), first.width() * first.height() / 3);
        EXPECT_GT(countNear(image, first, Qt::white, 30), 10);
        for (std::size_t i = 1; i < items.size(); ++i) {
            EXPECT_EQ(countNear(image, items[i]->geometry(), accent, 30), 0) << i;
            // ...but an icon is drawn there: pixels far from the bar's background.
            const QColor bg = PivorelStyle::background(view.palette());
            const QRect r = items[i]->geometry();
            EXPECT_LT(countNear(image, r, bg, 40), r.width() * r.height()) << i;
        }
        EXPECT_EQ(countNear(image, view.moreView()->geometry(), accent, 30), 0);
        // The margin is transparent except for the shadow, which darkens below the capsule.
        EXPECT_EQ(image.pixelColor(0, 0), backdrop);
        const QRectF capsule = view.capsuleRect();
        const QColor below = image.pixelColor(static_cast<int>(capsule.center().x()),
                                              static_cast<int>(capsule.bottom() + 4));
        EXPECT_LT(below.lightness(), backdrop.lightness() - 10);
    }
}

TEST(BarView, SizeIsTheStripPlusTheShadowMarginForAnyItemCount) {
    qtApp("offscreen");
    for (int n = 0; n <= 6; ++n) {
        std::vector<BarItem> items;
        for (int i = 0; i < n; ++i)
            items.emplace_back(ActionID::builtins()[static_cast<size_t>(i)]);
        BarView view(std::make_shared<BarModel>(items));
        EXPECT_EQ(view.sizeHint(), QSize(28 + 25 * n + 28, 56)) << n;
        EXPECT_EQ(view.capsuleRect(), QRectF(14, 14, 28 + 25 * n, 28)) << n;
        EXPECT_EQ(view.itemViews().size(), static_cast<size_t>(n));
        ASSERT_NE(view.moreView(), nullptr);  // "…" is there even with no items
        EXPECT_EQ(view.moreView()->size(), QSize(20, 22));
        // The last element ends at the padding.
        EXPECT_EQ(view.moreView()->geometry().right() + 1, 14 + 28 + 25 * n - 3);
        for (auto* item : view.itemViews()) EXPECT_EQ(item->size(), QSize(24, 22));
    }
}

TEST(BarView, AClickCallsTheModelWithTheItemsIndexAndLabelsAreTooltips) {
    qtApp("offscreen");
    auto model = fourItems();
    std::vector<std::int64_t> chosen;
    int more = 0;
    auto choosing = model->chosen.connect([&](std::int64_t i) { chosen.push_back(i); });
    auto asking = model->moreChosen.connect([&] { ++more; });
    BarView view(model);
    view.show();
    const auto& items = view.itemViews();
    EXPECT_EQ(items[3]->toolTip(), "Perplexity");
    EXPECT_EQ(items[0]->toolTip(), QString::fromStdString(ActionID::copy().shortTitle()));
    EXPECT_EQ(items[3]->symbol(), "sparkle.magnifyingglass");

    click(items[2], QPoint(12, 11));
    click(view.moreView(), QPoint(10, 11));
    // A press that leaves the icon before the release is no click.
    click(items[1], QPoint(12, 11), QPoint(40, 11));
    EXPECT_EQ(chosen, std::vector<std::int64_t>{2});
    EXPECT_EQ(more, 1);

    // Without callbacks a click does nothing.
    BarView bare(std::make_shared<BarModel>(std::vector<BarItem>{BarItem(ActionID::copy())}));
    bare.show();
    click(bare.itemViews()[0], QPoint(12, 11));
    click(bare.moreView(), QPoint(10, 11));
}

TEST(BarPanel, AClickThatHidesTheBarLetsGoOfTheModelAndLeavesNothingDangling) {
    qtApp("offscreen");
    BarPanel panel;
    auto model = fourItems();
    std::weak_ptr<BarModel> weak = model;
    int chosen = 0;
    // The way the coordinator reacts: hide the bar from inside the click.
    auto choosing = model->chosen.connect([&](std::int64_t) {
        ++chosen;
        panel.hide();
    });
    const Size size = panel.setContent(model);
    model.reset();
    panel.setFrame({100, 200, size.width, size.height});
    panel.orderFront();
    ASSERT_NE(panel.view(), nullptr);
    click(panel.view()->itemViews()[1], QPoint(12, 11));
    EXPECT_EQ(chosen, 1);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(panel.view(), nullptr);
    EXPECT_TRUE(weak.expired());
    flushDeletes();
}

TEST(BarPanel, FramesAreGlobalCoordinatesWithTheOriginAtTheBottomLeft) {
    qtApp("offscreen");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    BarPanel panel;
    EXPECT_EQ(panel.windowNumber(), 0);

    const Size size = panel.setContent(fourItems());
    // A half-point origin, as centring on a release point gives.
    const Rect frame{100.5, 200, size.width, size.height};
    panel.setFrame(frame);
    EXPECT_EQ(panel.geometry().topLeft(), QPoint(101, screen.bottom() + 1 - 200 - 56));
    EXPECT_EQ(panel.frame(), frame);
    panel.orderFront();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_NE(panel.windowNumber(), 0);
    // Moved by someone else: the frame reads the window's real place.
    panel.move(10, screen.bottom() + 1 - 56);
    EXPECT_EQ(panel.frame(), (Rect{10, 0, size.width, size.height}));
    panel.hide();
    EXPECT_FALSE(panel.isVisible());
    flushDeletes();
}
