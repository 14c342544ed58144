#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWidget>

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
#include "QtApp.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

// A plain window of one colour over the whole screen, the application the user works in.
class Backdrop final : public QWidget {
  public:
    explicit Backdrop(QColor color) : color_(color) {}

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), color_); }

  private:
    QColor color_;
};

// Shows the backdrop over the whole screen as the active window. The window manager may drop
// a request that comes right after the map, so it is repeated until it holds.
bool showActive(Backdrop& backdrop) {
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    return waitUntil([&] {
        if (!backdrop.isActiveWindow()) backdrop.activateWindow();
        return backdrop.isActiveWindow();
    });
}

}  // namespace

// On a desktop that composes nothing blended pixels show black: the corners must be clipped.
TEST(BarPanelOnX, BarAndPanelShowOverTheActiveWindowWithoutBlackCorners) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    EXPECT_FALSE(Compositor::isRunning());
    const QColor desktop(90, 140, 200);
    Backdrop backdrop(desktop);
    ASSERT_TRUE(showActive(backdrop));
    const double screenHeight = QGuiApplication::primaryScreen()->geometry().height();

    BarPanel bar;
    bar.setPalette(PivorelStyle::palette(false));
    auto model = std::make_shared<BarModel>(std::vector<BarItem>{
        BarItem(ActionID::copy()), BarItem(ActionID::google()), BarItem(ActionID::ask())});
    int chosen = -1;
    auto choosing = model->chosen.connect([&](std::int64_t i) { chosen = static_cast<int>(i); });
    const Size size = bar.setContent(model);
    bar.setFrame({200, screenHeight - 300, size.width, size.height});
    bar.orderFront();
    ASSERT_TRUE(waitUntil([&] { return bar.isVisible() && bar.windowNumber() != 0; }));
    settle(200ms);
    EXPECT_TRUE(backdrop.isActiveWindow());
    QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    keepScreenshot("view-bar-on-x");
    QPoint origin = bar.geometry().topLeft();
    const QRectF capsule = bar.view()->capsuleRect();
    auto at = [&](double dx, double dy) {
        return screen.pixelColor(origin + QPoint(static_cast<int>(dx), static_cast<int>(dy)));
    };
    // The margin and the capsule's rounded ends show the desktop, not black.
    EXPECT_EQ(at(1, 1), desktop);
    EXPECT_EQ(at(capsule.left() + 1, capsule.top() + 1), desktop);
    EXPECT_EQ(at(capsule.right() - 2, capsule.bottom() - 2), desktop);
    // Nothing dark along the capsule's edge; the icons sit in the rows between.
    int dark = 0;
    for (int y = 0; y < bar.height(); ++y) {
        if (y > capsule.top() + 2 && y < capsule.bottom() - 2) continue;
        for (int col = 0; col < bar.width(); ++col)
            if (screen.pixelColor(origin + QPoint(col, y)).lightness() < 80) ++dark;
    }
    EXPECT_EQ(dark, 0);
    EXPECT_EQ(at(capsule.center().x() + 20, capsule.top() + 3),
              PivorelStyle::background(bar.palette()));
    // The first click on an icon acts, and the backdrop keeps the keyboard.
    const QPoint icon = bar.mapToGlobal(bar.view()->itemViews()[1]->geometry().center());
    x.xdotool({"mousemove", std::to_string(icon.x()), std::to_string(icon.y()), "click", "1"});
    ASSERT_TRUE(waitUntil([&] { return chosen == 1; }));
    settle(100ms);
    EXPECT_TRUE(backdrop.isActiveWindow());
    bar.hide();

    FloatingPanel panel;
    panel.setPalette(PivorelStyle::palette(false));
    panel.setContent(std::make_shared<PanelModel>(
        "光速不变原理", "Firefox",
        std::vector<ActionID>{ActionID::translate(), ActionID::copy(), ActionID::google()},
        std::nullopt, ActionCatalog::builtin(), true));
    const Size panelSize = panel.fittingSize();
    panel.setFrame({300, screenHeight - 100 - panelSize.height, panelSize.width, panelSize.height});
    panel.orderFrontAndMakeKey();
    ASSERT_TRUE(waitUntil([&] { return panel.isKeyWindow(); }));
    settle(150ms);
    keepScreenshot("view-panel-on-x");
    screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    origin = panel.geometry().topLeft();
    const QRectF content = panel.rootView()->contentRect();
    EXPECT_EQ(screen.pixelColor(origin + QPoint(1, 1)), desktop);
    EXPECT_EQ(screen.pixelColor(origin + content.topLeft().toPoint() + QPoint(1, 1)), desktop);
    EXPECT_EQ(screen.pixelColor(origin + content.bottomRight().toPoint() - QPoint(2, 2)), desktop);
    panel.hide();
    EXPECT_TRUE(waitUntil([&] { return backdrop.isActiveWindow(); }));
}

// The bar never becomes the active window, yet shows where the pointer is and what an icon
// does.
TEST(BarPanelOnX, TheIconUnderThePointerLightsUpAndTellsItsTitle) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    Backdrop backdrop(QColor(90, 140, 200));
    ASSERT_TRUE(showActive(backdrop));

    BarPanel bar;
    bar.setPalette(PivorelStyle::palette(false));
    auto model = std::make_shared<BarModel>(std::vector<BarItem>{
        BarItem(ActionID::copy()), BarItem(ActionID::google()), BarItem(ActionID::ask())});
    const Size size = bar.setContent(model);
    bar.setFrame({200, 500, size.width, size.height});
    bar.orderFront();
    ASSERT_TRUE(waitUntil([&] { return bar.isVisible() && bar.windowNumber() != 0; }));
    settle(200ms);

    const auto& items = bar.view()->itemViews();
    auto look = [&](std::size_t i) { return bar.view()->grab(items[i]->geometry()).toImage(); };
    // A pixel of the capsule left of the glyph, over the bar's background.
    auto capsule = [&](std::size_t i) { return look(i).pixelColor(5, 11); };
    auto tinted = [&](double alpha) {
        const QColor bg = PivorelStyle::background(bar.palette());
        const QColor tint = bar.palette().color(QPalette::Highlight);
        auto mix = [&](int a, int b) { return static_cast<int>(a + (b - a) * alpha + 0.5); };
        return QColor(mix(bg.red(), tint.red()), mix(bg.green(), tint.green()),
                      mix(bg.blue(), tint.blue()));
    };
    const QImage idle[] = {look(0), look(1), look(2)};
    const auto windows = WindowServer::ownWindowsOnScreen().size();
    ASSERT_TRUE(near(capsule(1), tinted(0), 3));

    const QPoint icon = bar.mapToGlobal(items[1]->geometry().center());
    ASSERT_TRUE(x.xdotool({"mousemove", std::to_string(icon.x()), std::to_string(icon.y())}));
    EXPECT_TRUE(waitUntil([&] { return near(capsule(1), tinted(0.16), 4); }))
        << capsule(1).name().toStdString();
    EXPECT_EQ(look(0), idle[0]);
    EXPECT_EQ(look(2), idle[2]);
    // After Qt's usual delay, and on screen, though the bar is not the active window.
    const QString title = QString::fromStdString(ActionID::google().shortTitle());
    EXPECT_TRUE(waitUntil([&] { return QToolTip::isVisible() && QToolTip::text() == title; }));
    EXPECT_EQ(WindowServer::ownWindowsOnScreen().size(), windows + 1);
    keepScreenshot("view-bar-hover-tooltip");

    ASSERT_TRUE(x.xdotool({"mousedown", "1"}));
    EXPECT_TRUE(waitUntil([&] { return near(capsule(1), tinted(0.32), 4); }))
        << capsule(1).name().toStdString();
    keepScreenshot("view-bar-pressed");
    ASSERT_TRUE(x.xdotool({"mouseup", "1"}));
    ASSERT_TRUE(x.xdotool({"mousemove", "20", "20"}));
    EXPECT_TRUE(waitUntil([&] { return look(1) == idle[1]; }));
    EXPECT_TRUE(backdrop.isActiveWindow());
}
