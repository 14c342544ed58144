#include "Pivorel/AppDelegate.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Pivorel/Linux/ScreenCoordinates.h"
#include "Pivorel/Linux/WindowServer.h"
#include "Pivorel/WindowTest.h"
#include "QtApp.h"
#include "TempDir.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

// The whole program in this process, on a private X display with openbox and an xterm
// whose typed lines land in a file; the user's files are a temporary home's.
class AppDelegateWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        x_ = &XSession::shared();
        if (!x_->ok()) GTEST_SKIP() << x_->error();
        // One home per process: the settings store is the process's once made.
        static TempDir home;
        ::setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home.path() / "data").c_str(), 1);
        typed_ = home.path() /
                 ("typed-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));

        // Copy first and nothing reordered, so a click on the first icon has no outside
        // effects; the model endpoint refuses at once.
        ActionConfig config;
        config.order.insert(config.order.begin(), "copy");
        config.smartRanking = false;
        ASSERT_TRUE(
            ActionConfigStore{AppIdentity::supportDirectory() / "actions.json"}.save(config));
        UserDefaults::standard()->set("llmBaseURL", "http://127.0.0.1:9/v1");

        qtApp("xcb");
        xterm_ = x_->spawn({"xterm", "-class", "PivorelXterm", "-geometry", "80x24+20+20", "-e",
                            "sh", "-c", "cat > '" + typed_.string() + "'"});
        const auto window = x_->waitForWindow("PivorelXterm");
        ASSERT_TRUE(window) << "xterm did not start";
        xtermWindow_ = *window;
        ASSERT_TRUE(x_->xdotool({"windowactivate", "--sync", std::to_string(xtermWindow_)}));
        ASSERT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == xtermWindow_; }));

        AppDelegate::Options options;
        options.keychainMigration = false;
        options.permissionGuide = false;
        delegate_ = std::make_unique<AppDelegate>(options);
        ASSERT_EQ(delegate_->start(), 0);
        controller_ = delegate_->controller();
    }

    void TearDown() override {
        delegate_.reset();
        if (xterm_ > 0) x_->terminate(xterm_);
    }

    // A point of the global space (origin bottom left) at X11 position (x, y).
    static Point global(double x, double y) {
        return ScreenCoordinates::current().fromX11(Point{x, y});
    }

    SelectRequest request(const std::string& text) {
        SelectRequest r;
        r.text = text;
        r.app = "xterm";
        r.source = "bar";
        return r;
    }

    bool click(Point at) {
        const Point p = ScreenCoordinates::current().toX11(at);
        return x_->xdotool({"mousemove", std::to_string(static_cast<int>(p.x)),
                            std::to_string(static_cast<int>(p.y)), "click", "1"});
    }

    // Types a line into whatever has the keyboard and waits for the xterm to write it.
    bool typeIntoTerminal(const std::string& word) {
        if (!x_->xdotool({"type", "--delay", "10", word}) || !x_->xdotool({"key", "Return"})) {
            return false;
        }
        return waitUntil([&] { return readText(typed_).find(word + "\n") != std::string::npos; });
    }

    bool ownWindowOnScreen() { return !WindowServer::ownWindowsOnScreen().empty(); }

    XSession* x_ = nullptr;
    pid_t xterm_ = -1;
    std::uint32_t xtermWindow_ = 0;
    std::filesystem::path typed_;
    std::unique_ptr<AppDelegate> delegate_;
    AppController* controller_ = nullptr;
};

}  // namespace

TEST_F(AppDelegateWindows, TheBarLeavesTheTerminalInChargeAndOneClickPerformsAnIcon) {
    ASSERT_TRUE(controller_->showBar(request("keyboard"), global(300, 240), global(420, 240)));
    ASSERT_TRUE(waitUntil([&] { return ownWindowOnScreen(); }));
    settle(200ms);
    // Shown above the terminal, kept above, and never made active.
    const auto shown = WindowServer::ownWindowsOnScreen();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.front().level(), WindowServer::popUpLevel);
    EXPECT_EQ(static_cast<std::int64_t>(shown.front().id), controller_->bar().windowNumber());
    EXPECT_EQ(WindowServer::activeWindow(), xtermWindow_);
    keepScreenshot("bar-over-xterm");
    // What the user types still goes to the terminal.
    EXPECT_TRUE(typeIntoTerminal("typedwhileshown"));
    EXPECT_FALSE(WindowServer::isActive());

    ASSERT_TRUE(controller_->showBar(request("serendipity"), global(300, 200), global(400, 200)));
    ASSERT_TRUE(waitUntil([&] { return ownWindowOnScreen(); }));
    const auto context = controller_->barContext();
    ASSERT_TRUE(context);
    ASSERT_EQ(context->barOrder.front(), ActionID::copy());
    // The middle of the first icon: 3 points into the capsule, 24 wide, capsule 28 high.
    const Point origin = controller_->bar().contentOrigin();
    ASSERT_TRUE(click({origin.x + 3 + 12, origin.y + 14}));
    ASSERT_TRUE(waitUntil([&] { return !controller_->bar().isVisible(); }));
    const auto record = delegate_->store()->record(context->id);
    ASSERT_TRUE(record && record->has_value());
    EXPECT_EQ((*record)->chosen, ActionID::copy());
    EXPECT_EQ((*record)->chosenRank, 1);

    // The copy's short notice comes and goes, and the terminal has the keyboard again.
    ASSERT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }, 4s));
    EXPECT_EQ(controller_->panel().lastCloseReason(), "notice-timeout");
    ASSERT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == xtermWindow_; }));
    EXPECT_TRUE(typeIntoTerminal("afterclick"));
}

TEST_F(AppDelegateWindows, ThePanelTakesKeysAndGivesTheKeyboardBack) {
    controller_->handle(request("serendipity"), global(700, 300));
    ASSERT_TRUE(waitUntil([&] { return WindowServer::isActive(); }));
    ASSERT_TRUE(controller_->panel().isVisible());
    keepScreenshot("panel-list");
    auto model = controller_->panel().model();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->highlighted(), 0);

    ASSERT_TRUE(x_->xdotool({"key", "Down"}));
    EXPECT_TRUE(waitUntil([&] { return model->highlighted() == 1; }));
    ASSERT_TRUE(x_->xdotool({"key", "Escape"}));
    ASSERT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }));
    EXPECT_EQ(controller_->panel().lastCloseReason(), "esc");
    ASSERT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == xtermWindow_; }));
    EXPECT_TRUE(typeIntoTerminal("afterpanel"));
}

TEST_F(AppDelegateWindows, AClickElsewhereClosesTheListButNotAConversation) {
    controller_->handle(request("serendipity"), global(800, 500));
    ASSERT_TRUE(waitUntil([&] { return WindowServer::isActive(); }));
    ASSERT_TRUE(click(global(100, 100)));  // inside the xterm
    ASSERT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }));
    EXPECT_EQ(controller_->panel().lastCloseReason(), "outside-click");

    controller_->handle(request("什么是 serendipity？"), global(800, 500));
    ASSERT_TRUE(waitUntil([&] { return WindowServer::isActive(); }));
    auto model = controller_->panel().model();
    ASSERT_TRUE(model);
    std::int64_t askRow = -1;
    for (std::size_t i = 0; i < model->rows().size(); ++i) {
        if (model->rows()[i].action == ActionID::ask()) askRow = static_cast<std::int64_t>(i);
    }
    ASSERT_GE(askRow, 0);
    controller_->choose(askRow, model);
    ASSERT_TRUE(model->mode().isAsk());
    settle(300ms);
    keepScreenshot("panel-ask");
    ASSERT_TRUE(click(global(100, 100)));
    settle(500ms);
    EXPECT_TRUE(controller_->panel().isVisible());
    EXPECT_TRUE(model->mode().isAsk());
    controller_->panel().close("esc");
}
