#include "Pivorel/Panel/FloatingPanel.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QWindow>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "Fakes/FakeDesktop.h"
#include "Pivorel/Linux/WindowServer.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"
#include "Pivorel/Panel/AskView.h"
#include "Pivorel/Panel/PanelRootView.h"
#include "Pivorel/QtMainQueue.h"
#include "Pivorel/ViewTesting.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

std::shared_ptr<PanelModel> model() {
    return std::make_shared<PanelModel>(
        "text", std::nullopt,
        std::vector<ActionID>{ActionID::copy(), ActionID::google(), ActionID::ask()}, std::nullopt,
        ActionCatalog::builtin(), true);
}

// Delivers a key press the way the platform does: to the window, not to a widget.
void press(FloatingPanel& panel, int key, const QString& text = {},
           Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(panel.windowHandle(), &event);
}

}  // namespace

TEST(FloatingPanel, TranslatesKeysIntoTheProgramsKeyCodes) {
    qtApp("offscreen");
    auto key = [](int k, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        return FloatingPanel::keyEvent(QKeyEvent(QEvent::KeyPress, k, mods, text));
    };
    EXPECT_EQ(key(Qt::Key_Escape, "\x1b"), (KeyEvent{53, 0, "\x1b"}));
    EXPECT_EQ(key(Qt::Key_Return, "\r"), (KeyEvent{36, 0, "\r"}));
    EXPECT_EQ(key(Qt::Key_Enter, "\r", Qt::KeypadModifier), (KeyEvent{76, 0, "\r"}));
    EXPECT_EQ(key(Qt::Key_Down, ""), (KeyEvent{125, 0, ""}));
    EXPECT_EQ(key(Qt::Key_Up, ""), (KeyEvent{126, 0, ""}));
    EXPECT_EQ(key(Qt::Key_3, "3"), (KeyEvent{20, 0, "3"}));
    // A keypad digit types the digit.
    EXPECT_EQ(key(Qt::Key_3, "3", Qt::KeypadModifier)->charactersIgnoringModifiers, "3");
    // Shift-1 types "!", but the key is still the 1 key, its character "1".
    EXPECT_EQ(key(Qt::Key_Exclam, "!", Qt::ShiftModifier),
              (KeyEvent{18, KeyEvent::shiftFlag, "1"}));
    EXPECT_EQ(
        key(Qt::Key_A, "a", Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier),
        (KeyEvent{0, KeyEvent::controlFlag | KeyEvent::optionFlag | KeyEvent::commandFlag, "a"}));
    EXPECT_FALSE(key(Qt::Key_F20, "").has_value());
}

TEST(FloatingPanel, KeysReachTheHandlerBeforeTheFollowUpField) {
    qtApp("offscreen");
    FloatingPanel panel;
    std::vector<KeyEvent> seen;
    bool handled = false;
    panel.setKeyHandler([&](const KeyEvent& e) {
        seen.push_back(e);
        return handled || e.keyCode == 53;
    });
    auto m = model();
    m->ask = std::make_shared<AskModel>(AskKind::ask, std::make_shared<ScriptedChat>(),
                                        std::vector<ChatMessage>{});
    m->setMode(PanelMode::ask(AskKind::ask));
    panel.setContent(m);
    const Size size = panel.fittingSize();
    panel.setFrame({40, 40, size.width, size.height});
    panel.orderFrontAndMakeKey();
    QCoreApplication::processEvents();
    auto* ask = qobject_cast<AskView*>(panel.rootView()->modeView());
    ASSERT_NE(ask, nullptr);
    ASSERT_EQ(panel.focusWidget(), ask->followUpField());

    // Not handled: the field types it.
    press(panel, Qt::Key_A, "a");
    EXPECT_EQ(ask->followUpField()->text(), "a");
    // Handled: the field never sees it.
    handled = true;
    press(panel, Qt::Key_B, "b");
    EXPECT_EQ(ask->followUpField()->text(), "a");
    handled = false;
    // Escape while the field has focus reaches the handler.
    press(panel, Qt::Key_Escape, "\x1b");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].keyCode, 53);

    // Without a handler keys go straight to the field.
    panel.setKeyHandler(nullptr);
    press(panel, Qt::Key_C, "c");
    EXPECT_EQ(ask->followUpField()->text(), "ac");
}

TEST(FloatingPanel, FitsEachModeAndDropsItsContent) {
    qtApp("offscreen");
    FloatingPanel panel;
    EXPECT_EQ(panel.fittingSize(), (Size{0, 0}));
    auto m = model();
    std::weak_ptr<PanelModel> weak = m;
    panel.setContent(m);
    // The size follows a mode change even before the view heard of it.
    m->ask = std::make_shared<AskModel>(AskKind::ask, std::make_shared<ScriptedChat>(),
                                        std::vector<ChatMessage>{});
    m->setMode(PanelMode::ask(AskKind::ask));
    EXPECT_EQ(panel.fittingSize(), (Size{496, 436}));

    const double screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    const Rect frame{30, 50, 376, 120};
    panel.setFrame(frame);
    EXPECT_EQ(panel.geometry(), QRect(30, static_cast<int>(screenHeight) - 170, 376, 120));
    EXPECT_EQ(panel.frame(), frame);

    m.reset();
    panel.setContent(nullptr);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(panel.fittingSize(), (Size{0, 0}));
    flushDeletes();
}

// The case: "QRS" typed just after a copy from the bar went into the notice.
TEST(FloatingPanelOnX, NoticesLeaveTheKeyboardWithTheApplicationListsTakeIt) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    TempDir dir;
    const auto typed = dir.path() / "typed";
    x.spawn({"xterm", "-e", "sh", "-c",
             "read line; printf %s \"$line\" > " + typed.string() + "; exec sleep 600"});
    const auto term = x.waitForWindow("xterm");
    ASSERT_TRUE(term);
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*term)}));
    ASSERT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == term; }));

    FloatingPanel window;
    FakeWorkspace workspace;
    FakeInputMonitor input;
    QtMainQueue queue;
    PanelController panel(window, workspace, input, queue);
    auto notice = std::make_shared<PanelModel>("", std::nullopt, std::vector<ActionID>{},
                                               std::nullopt, ActionCatalog::builtin(), true);
    notice->setMode(PanelMode::notice("已复制"));
    panel.show(notice, {300, 600});
    panel.notice("已复制", 5);
    ASSERT_TRUE(waitUntil([] { return !WindowServer::ownWindowsOnScreen().empty(); }));
    settle(150ms);
    ASSERT_TRUE(drive(x, {"type", "QRS"}));
    ASSERT_TRUE(drive(x, {"key", "Return"}));
    EXPECT_TRUE(waitUntil([&] { return readText(typed) == "QRS"; })) << readText(typed);
    EXPECT_EQ(WindowServer::activeWindow(), term);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_FALSE(panel.isKeyWindow());

    panel.show(model(), {300, 600});
    EXPECT_TRUE(waitUntil([&] { return panel.isKeyWindow() && WindowServer::isActive(); }));
    // A choice in the list that ends in a notice gives the keyboard back.
    panel.notice("已复制", 5);
    EXPECT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == term; }))
        << "active: " << WindowServer::activeWindow().value_or(0);
    EXPECT_TRUE(panel.isVisible());
}
