#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/BarPanel/BarModel.h"
#include "Pivorel/Bar/BarItemView.h"
#include "Pivorel/Bar/BarPanel.h"
#include "Pivorel/Bar/BarView.h"
#include "Pivorel/Linux/Compositor.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/FloatingPanel.h"
#include "Pivorel/Panel/PanelRootView.h"
#include "Pivorel/WindowTest.h"
#include "QtApp.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;

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

}  // namespace

TEST(BarPanelOnX, ShowsOverTheActiveWindowWithoutTakingItAndWithoutBlackCorners) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    // Plain Xvfb with openbox composes nothing: the corners must be clipped away.
    EXPECT_FALSE(Compositor::isRunning());

    const QColor desktop(90, 140, 200);
    Backdrop backdrop(desktop);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    backdrop.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return backdrop.isActiveWindow(); }));

    BarPanel bar;
    bar.setPalette(PivorelStyle::palette(false));
    auto model = std::make_shared<BarModel>(std::vector<BarItem>{
        BarItem(ActionID::copy()), BarItem(ActionID::google()), BarItem(ActionID::ask())});
    int chosen = -1;
    auto choosing = model->chosen.connect([&](std::int64_t i) { chosen = static_cast<int>(i); });
    const Size size = bar.setContent(model);
    const double screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    bar.setFrame({200, screenHeight - 300, size.width, size.height});
    bar.orderFront();
    ASSERT_TRUE(waitUntil([&] { return bar.isVisible() && bar.windowNumber() != 0; }));
    settle(std::chrono::milliseconds(200));
    EXPECT_TRUE(backdrop.isActiveWindow());
    EXPECT_FALSE(bar.isActiveWindow());

    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    keepScreenshot("view-bar-on-x");
    const QPoint origin = bar.geometry().topLeft();
    const QRectF capsule = bar.view()->capsuleRect();
    auto at = [&](double dx, double dy) {
        return screen.pixelColor(origin + QPoint(static_cast<int>(dx), static_cast<int>(dy)));
    };
    // The margin and the capsule's rounded ends show the desktop, not black.
    EXPECT_EQ(at(1, 1), desktop);
    EXPECT_EQ(at(capsule.left() + 1, capsule.top() + 1), desktop);
    EXPECT_EQ(at(capsule.right() - 2, capsule.bottom() - 2), desktop);
    // Nothing dark along the capsule's edge (blended pixels show black without a
    // compositor); the icons sit in the rows between.
    int dark = 0;
    for (int y = 0; y < bar.height(); ++y) {
        if (y > capsule.top() + 2 && y < capsule.bottom() - 2) continue;
        for (int col = 0; col < bar.width(); ++col)
            if (screen.pixelColor(origin + QPoint(col, y)).lightness() < 80) ++dark;
    }
    EXPECT_EQ(dark, 0);
    // The middle of the capsule is the bar's own background.
    EXPECT_EQ(at(capsule.center().x() + 20, capsule.top() + 3),
              PivorelStyle::background(bar.palette()));

    // The first click on an icon acts, and the backdrop keeps the keyboard.
    const QPoint icon = bar.mapToGlobal(bar.view()->itemViews()[1]->geometry().center());
    x.xdotool({"mousemove", std::to_string(icon.x()), std::to_string(icon.y()), "click", "1"});
    ASSERT_TRUE(waitUntil([&] { return chosen >= 0; }));
    EXPECT_EQ(chosen, 1);
    settle(std::chrono::milliseconds(100));
    EXPECT_TRUE(backdrop.isActiveWindow());
    bar.hide();
}

TEST(FloatingPanelOnX, TakesTheKeyboardWhileShownAndHasNoBlackCorners) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    const QColor desktop(90, 140, 200);
    Backdrop backdrop(desktop);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    backdrop.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return backdrop.isActiveWindow(); }));

    FloatingPanel panel;
    panel.setPalette(PivorelStyle::palette(false));
    std::vector<std::uint16_t> keys;
    panel.setKeyHandler([&](const KeyEvent& e) {
        keys.push_back(e.keyCode);
        return true;
    });
    panel.setContent(std::make_shared<PanelModel>(
        "光速不变原理", "Firefox",
        std::vector<ActionID>{ActionID::translate(), ActionID::copy(), ActionID::google()},
        std::nullopt, ActionCatalog::builtin(), true));
    const Size size = panel.fittingSize();
    const double screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    panel.setFrame({300, screenHeight - 100 - size.height, size.width, size.height});
    panel.orderFrontAndMakeKey();
    ASSERT_TRUE(waitUntil([&] { return panel.isKeyWindow(); }));
    settle(std::chrono::milliseconds(150));
    keepScreenshot("view-panel-on-x");
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QPoint origin = panel.geometry().topLeft();
    const QRectF content = panel.rootView()->contentRect();
    EXPECT_EQ(screen.pixelColor(origin + QPoint(1, 1)), desktop);
    EXPECT_EQ(screen.pixelColor(origin + content.topLeft().toPoint() + QPoint(1, 1)), desktop);
    EXPECT_EQ(screen.pixelColor(origin + content.bottomRight().toPoint() - QPoint(2, 2)), desktop);

    // Typed keys reach the handler through the window system.
    x.xdotool({"key", "Down", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return keys.size() >= 2; }));
    EXPECT_EQ(keys, (std::vector<std::uint16_t>{125, 53}));

    panel.hide();
    EXPECT_TRUE(waitUntil([&] { return backdrop.isActiveWindow(); }));
}
