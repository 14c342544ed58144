#include <gtest/gtest.h>

#include <QPainter>
#include <QScreen>
#include <QToolTip>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/BarPanel/BarModel.h"
#include "Pivorel/Bar/BarItemView.h"
#include "Pivorel/Bar/BarPanel.h"
#include "Pivorel/Bar/BarView.h"
#include "Pivorel/Linux/Compositor.h"
#include "Pivorel/Linux/WindowServer.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/FloatingPanel.h"
#include "Pivorel/Panel/PanelRootView.h"
#include "Pivorel/ViewTesting.h"
#include "Pivorel/WindowTest.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

std::shared_ptr<BarModel> items(std::size_t n = 4) {
    std::vector<BarItem> all{BarItem(ActionID::copy()), BarItem(ActionID::google()),
                             BarItem(ActionID::translate()),
                             BarItem(ActionID("custom:1"), std::string("Perplexity"),
                                     std::string("sparkle.magnifyingglass"))};
    all.erase(all.begin() + static_cast<std::ptrdiff_t>(n), all.end());
    return std::make_shared<BarModel>(all);
}

// A plain window of one colour over the whole screen, the application the user works in.
class Backdrop final : public QWidget {
  public:
    explicit Backdrop(QColor color) : color_(color) {}
    // Shown as the active window; the window manager may drop a request that comes right
    // after the map, so it is repeated until it holds.
    bool showActive() {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        show();
        return waitUntil([&] {
            if (!isActiveWindow()) activateWindow();
            return isActiveWindow();
        });
    }

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), color_); }

  private:
    QColor color_;
};

// The bar with three items over a backdrop on a real X display.
class BarPanelOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& x = XSession::shared();
        if (!x.ok()) GTEST_SKIP() << x.error();
        x_ = &x;
        qtApp("xcb");
        backdrop_ = std::make_unique<Backdrop>(desktop_);
        ASSERT_TRUE(backdrop_->showActive());
        ASSERT_TRUE(x.xdotool({"mousemove", "20", "20"}));  // away from where the bar goes
        bar_ = std::make_unique<BarPanel>();
        bar_->setPalette(PivorelStyle::palette(false));
        const Size size = bar_->setContent(model_);
        bar_->setFrame({200, screenHeight() - 300, size.width, size.height});
        bar_->orderFront();
        ASSERT_TRUE(waitUntil([&] { return bar_->isVisible() && bar_->windowNumber() != 0; }));
        settle(200ms);
    }
    static double screenHeight() { return QGuiApplication::primaryScreen()->geometry().height(); }
    QPoint iconOnScreen(std::size_t i) {
        return bar_->mapToGlobal(bar_->view()->itemViews()[i]->geometry().center());
    }

    XSession* x_ = nullptr;
    const QColor desktop_{90, 140, 200};
    std::unique_ptr<Backdrop> backdrop_;
    std::shared_ptr<BarModel> model_ = items(3);
    std::unique_ptr<BarPanel> bar_;
};

}  // namespace

TEST(BarView, HighlightsOnlyTheFirstItemOnTheAccentColourInBothAppearances) {
    qtApp("offscreen");
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        BarView view(items());
        view.setPalette(PivorelStyle::palette(dark));
        const QColor backdrop = dark ? QColor(70, 90, 120) : QColor(200, 215, 235);
        const QImage image = renderOver(view, backdrop);
        const QColor accent = PivorelStyle::accent(dark);
        const QColor bg = PivorelStyle::background(view.palette());
        const auto& views = view.itemViews();
        ASSERT_EQ(views.size(), 4u);
        // The capsule behind the first icon is accent-coloured, the glyph on it white.
        const QRect first = views[0]->geometry();
        EXPECT_GT(countNear(image, first, accent), first.width() * first.height() / 3);
        EXPECT_GT(countNear(image, first, Qt::white, 30), 10);
        for (std::size_t i = 1; i < views.size(); ++i) {
            const QRect r = views[i]->geometry();
            EXPECT_EQ(countNear(image, r, accent, 30), 0) << i;
            EXPECT_LT(countNear(image, r, bg, 40), r.width() * r.height()) << "an icon " << i;
        }
        EXPECT_EQ(countNear(image, view.moreView()->geometry(), accent, 30), 0);
        EXPECT_EQ(image.pixelColor(0, 0), backdrop) << "the margin is transparent";
    }
}

TEST(BarView, SizeIsTheStripPlusTheShadowMarginForAnyItemCount) {
    qtApp("offscreen");
    for (int n = 0; n <= 6; ++n) {
        std::vector<BarItem> all;
        for (int i = 0; i < n; ++i) all.emplace_back(ActionID::builtins()[static_cast<size_t>(i)]);
        BarView view(std::make_shared<BarModel>(all));
        EXPECT_EQ(view.sizeHint(), QSize(28 + 25 * n + 28, 56)) << n;
        EXPECT_EQ(view.capsuleRect(), QRectF(14, 14, 28 + 25 * n, 28)) << n;
        EXPECT_EQ(view.itemViews().size(), static_cast<size_t>(n));
        ASSERT_NE(view.moreView(), nullptr);  // "…" is there even with no items
        EXPECT_EQ(view.moreView()->size(), QSize(20, 22));
        EXPECT_EQ(view.moreView()->geometry().right() + 1, 14 + 28 + 25 * n - 3);
        for (auto* item : view.itemViews()) EXPECT_EQ(item->size(), QSize(24, 22));
    }
}

TEST(BarView, AClickCallsTheModelWithTheItemsIndexAndLabelsAreTooltips) {
    qtApp("offscreen");
    auto model = items();
    std::vector<std::int64_t> chosen;
    int more = 0;
    auto choosing = model->chosen.connect([&](std::int64_t i) { chosen.push_back(i); });
    auto asking = model->moreChosen.connect([&] { ++more; });
    BarView view(model);
    view.show();
    const auto& views = view.itemViews();
    EXPECT_EQ(views[3]->toolTip(), "Perplexity");
    EXPECT_EQ(views[0]->toolTip(), QString::fromStdString(ActionID::copy().shortTitle()));
    EXPECT_EQ(views[3]->symbol(), "sparkle.magnifyingglass");
    click(views[2], QPoint(12, 11));
    click(view.moreView(), QPoint(10, 11));
    click(views[1], QPoint(12, 11), QPoint(40, 11));  // left the icon before the release
    EXPECT_EQ(chosen, std::vector<std::int64_t>{2});
    EXPECT_EQ(more, 1);
}

TEST(BarPanel, AClickThatHidesTheBarLetsGoOfTheModelAndLeavesNothingDangling) {
    qtApp("offscreen");
    BarPanel panel;
    auto model = items();
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
    const Size size = panel.setContent(items());
    const Rect frame{100.5, 200, size.width, size.height};  // as centring on a point gives
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

// On a desktop that composes nothing blended pixels show black: the corners must be clipped.
TEST_F(BarPanelOnX, BarAndPanelShowOverTheActiveWindowWithoutBlackCorners) {
    EXPECT_FALSE(Compositor::isRunning());
    int chosen = -1;
    auto choosing = model_->chosen.connect([&](std::int64_t i) { chosen = static_cast<int>(i); });
    EXPECT_TRUE(backdrop_->isActiveWindow());
    QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    QPoint origin = bar_->geometry().topLeft();
    const QRectF capsule = bar_->view()->capsuleRect();
    auto at = [&](double dx, double dy) {
        return screen.pixelColor(origin + QPoint(static_cast<int>(dx), static_cast<int>(dy)));
    };
    EXPECT_EQ(at(1, 1), desktop_);
    EXPECT_EQ(at(capsule.left() + 1, capsule.top() + 1), desktop_);
    EXPECT_EQ(at(capsule.right() - 2, capsule.bottom() - 2), desktop_);
    // Nothing dark along the capsule's edge; the icons sit in the rows between.
    int dark = 0;
    for (int y = 0; y < bar_->height(); ++y) {
        if (y > capsule.top() + 2 && y < capsule.bottom() - 2) continue;
        for (int col = 0; col < bar_->width(); ++col)
            if (at(col, y).lightness() < 80) ++dark;
    }
    EXPECT_EQ(dark, 0);
    EXPECT_EQ(at(capsule.center().x() + 20, capsule.top() + 3),
              PivorelStyle::background(bar_->palette()));
    // The first click on an icon acts, and the backdrop keeps the keyboard.
    const QPoint icon = iconOnScreen(1);
    x_->xdotool({"mousemove", std::to_string(icon.x()), std::to_string(icon.y()), "click", "1"});
    ASSERT_TRUE(waitUntil([&] { return chosen == 1; }));
    settle(100ms);
    EXPECT_TRUE(backdrop_->isActiveWindow());
    bar_->hide();

    FloatingPanel panel;
    panel.setPalette(PivorelStyle::palette(false));
    panel.setContent(std::make_shared<PanelModel>(
        "光速不变原理", "Firefox",
        std::vector<ActionID>{ActionID::translate(), ActionID::copy(), ActionID::google()},
        std::nullopt, ActionCatalog::builtin(), true));
    const Size panelSize = panel.fittingSize();
    panel.setFrame(
        {300, screenHeight() - 100 - panelSize.height, panelSize.width, panelSize.height});
    panel.orderFrontAndMakeKey();
    ASSERT_TRUE(waitUntil([&] { return panel.isKeyWindow(); }));
    settle(150ms);
    screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    origin = panel.geometry().topLeft();
    const QRectF content = panel.rootView()->contentRect();
    EXPECT_EQ(at(1, 1), desktop_);
    EXPECT_EQ(at(content.left() + 1, content.top() + 1), desktop_);
    EXPECT_EQ(at(content.right() - 2, content.bottom() - 2), desktop_);
    panel.hide();
    EXPECT_TRUE(waitUntil([&] { return backdrop_->isActiveWindow(); }));
}

// The bar never becomes the active window, yet shows where the pointer is and what an icon
// does.
TEST_F(BarPanelOnX, TheIconUnderThePointerLightsUpAndTellsItsTitle) {
    const auto& views = bar_->view()->itemViews();
    auto look = [&](std::size_t i) { return bar_->view()->grab(views[i]->geometry()).toImage(); };
    // A pixel of the capsule left of the glyph, over the bar's background.
    auto capsule = [&](std::size_t i) { return look(i).pixelColor(5, 11); };
    auto tinted = [&](double alpha) {
        const QColor bg = PivorelStyle::background(bar_->palette());
        const QColor tint = bar_->palette().color(QPalette::Highlight);
        auto mix = [&](int a, int b) { return static_cast<int>(a + (b - a) * alpha + 0.5); };
        return QColor(mix(bg.red(), tint.red()), mix(bg.green(), tint.green()),
                      mix(bg.blue(), tint.blue()));
    };
    const QImage idle[] = {look(0), look(1), look(2)};
    const auto windows = WindowServer::ownWindowsOnScreen().size();
    ASSERT_TRUE(near(capsule(1), tinted(0), 3));

    const QPoint icon = iconOnScreen(1);
    ASSERT_TRUE(x_->xdotool({"mousemove", std::to_string(icon.x()), std::to_string(icon.y())}));
    EXPECT_TRUE(waitUntil([&] { return near(capsule(1), tinted(0.16), 4); }))
        << capsule(1).name().toStdString();
    EXPECT_EQ(look(0), idle[0]);
    EXPECT_EQ(look(2), idle[2]);
    // After Qt's usual delay, and on screen, though the bar is not the active window.
    const QString title = QString::fromStdString(ActionID::google().shortTitle());
    EXPECT_TRUE(waitUntil([&] { return QToolTip::isVisible() && QToolTip::text() == title; }));
    EXPECT_EQ(WindowServer::ownWindowsOnScreen().size(), windows + 1);
    ASSERT_TRUE(x_->xdotool({"mousedown", "1"}));
    EXPECT_TRUE(waitUntil([&] { return near(capsule(1), tinted(0.32), 4); }))
        << capsule(1).name().toStdString();
    ASSERT_TRUE(x_->xdotool({"mouseup", "1"}));
    ASSERT_TRUE(x_->xdotool({"mousemove", "20", "20"}));
    EXPECT_TRUE(waitUntil([&] { return look(1) == idle[1]; }));
    EXPECT_TRUE(backdrop_->isActiveWindow());
}
