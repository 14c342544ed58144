#include "Pivorel/Tray/Tray.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <fstream>

#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Coordinator/HotKeyResponder.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Pivorel/WindowTest.h"
#include "TempDir.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;
using ID = StatusMenuModel::ItemID;

namespace {

std::string text(QAction* action) {
    return action ? action->text().toStdString() : "<none>";
}

// Moves there first, as a hand would: a press that arrives together with the pointer's jump
// onto the tray icon is not always seen by it.
bool clickAt(XSession& x, QPoint p) {
    if (!x.xdotool({"mousemove", std::to_string(p.x()), std::to_string(p.y())})) return false;
    settle(std::chrono::milliseconds(150));
    return x.xdotool({"click", "1"});
}

// The middle of the tray: trayer sizes itself to its icons, and ours is the only one. (Qt
// does not know where the tray placed the icon: it answers from its own window's origin.)
std::optional<QPoint> trayCentre(XSession& x) {
    const auto tray = x.waitForWindow("trayer", std::chrono::milliseconds(100));
    if (!tray) return std::nullopt;
    const auto g = x.windowGeometry(*tray);
    if (g[2] < 16 || g[3] < 16) return std::nullopt;
    return QPoint(g[0] + g[2] / 2, g[1] + g[3] / 2);
}

}  // namespace

TEST(TrayWindows, TheMenuOpensFromTheTrayRefreshedAndItsItemsAct) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    TempDir home;
    useHome(home.path());
    const pid_t trayer = x.spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                  "request", "--height", "24", "--SetDockType", "true"});
    ASSERT_GT(trayer, 0);
    qtApp("xcb");
    ASSERT_TRUE(waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10s))
        << "trayer gave no tray";

    const auto program = startDelegate();
    ASSERT_TRUE(program);
    AppDelegate& delegate = *program;
    Tray& tray = *delegate.tray();
    ASSERT_TRUE(waitUntil([&] { return trayCentre(x).has_value(); }, 5s));
    EXPECT_EQ(text(tray.action(ID::stats)), "今天 0 条 · 排第一就是所选 —（0/0）");
    EXPECT_EQ(tray.title(), "");

    // A selection recorded after start-up shows when the menu opens.
    SelectRequest request;
    request.text = "serendipity";
    request.app = "xterm";
    request.dry = true;  // recorded, but not counted
    delegate.controller()->handle(request, {600, 400});
    request.dry = false;
    request.source = "bar";
    ASSERT_TRUE(delegate.controller()->showBar(request, {600, 400}, {700, 400}));
    delegate.controller()->hideBar();
    // Once the row is written, off the main thread.
    EXPECT_TRUE(waitUntil([&] { return tray.title() == " 1 · —"; })) << tray.title();

    const auto icon = trayCentre(x);
    ASSERT_TRUE(icon);
    ASSERT_TRUE(clickAt(x, *icon));
    ASSERT_TRUE(waitUntil([&] { return tray.menu().isVisible(); }));
    settle(300ms);
    EXPECT_EQ(text(tray.action(ID::stats)), "今天 1 条 · 排第一就是所选 —（0/0）");
    EXPECT_EQ(text(tray.action(ID::barLog)), "小条：累计弹出 0 次 · 漏弹 0 次");
    EXPECT_EQ(text(tray.action(ID::quit)), "退出 Pivorel");
    EXPECT_TRUE(tray.action(ID::toggleBar)->isChecked());
    EXPECT_FALSE(tray.action(ID::updateAvailable)->isVisible());

    // Choosing the pause: an hour from now, and the item says until when.
    QAction* pause = tray.action(ID::togglePause);
    EXPECT_EQ(text(pause), "暂停小条 1 小时");
    ASSERT_TRUE(clickAt(x, tray.menu().mapToGlobal(tray.menu().actionGeometry(pause).center())));
    ASSERT_TRUE(waitUntil([&] { return !tray.menu().isVisible(); }));
    const auto until = delegate.settings().pausedUntil();
    ASSERT_TRUE(until);
    const double ahead = secondsBetween(std::chrono::system_clock::now(), *until);
    EXPECT_GT(ahead, 3590);
    EXPECT_LE(ahead, 3600);
    EXPECT_EQ(text(pause).rfind("已暂停到 ", 0), 0u) << text(pause);

    // A hot key changed in the settings is grabbed anew and named in the menu.
    BarSettings(UserDefaults::standard()).setHotkey({46, HotKeySpec::cmd | HotKeySpec::shift});
    EXPECT_TRUE(waitUntil([&] {
        return text(tray.action(ID::hotkey)) == "快捷键 Shift+Super+M：对选中文字弹出面板";
    }));
    EXPECT_EQ(delegate.hotKey()->spec(), (HotKeySpec{46, HotKeySpec::cmd | HotKeySpec::shift}));

    x.terminate(trayer);
}

TEST(TrayWindows, WithoutATrayTheProgramRunsOnAndSaysSoOnce) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    TempDir home;
    const pid_t program = x.spawn(
        {PIVOREL_BINARY, "--no-keychain-migration", "--no-permission-guide"},
        programEnv(home.path(), {{"PIVOREL_LOG_STDERR", "1"}, {"PIVOREL_FORCE_LANG", "zh-Hans"}}));
    ASSERT_GT(program, 0);
    const auto log = [&] { return readText(x.logPath()); };
    ASSERT_TRUE(waitUntil([&] { return log().find("没有系统托盘") != std::string::npos; }, 10s))
        << log();
    std::this_thread::sleep_for(500ms);
    int status = 0;
    EXPECT_EQ(::waitpid(program, &status, WNOHANG), 0) << "the program ended:\n" << log();
    const std::string all = log();
    EXPECT_EQ(all.find("没有系统托盘"), all.rfind("没有系统托盘"));
    EXPECT_NE(all.find("Pivorel: 钥匙串迁移已跳过（--no-keychain-migration）"), std::string::npos);
    // The database is where the program keeps it.
    EXPECT_TRUE(std::filesystem::exists(home.path() / "data" / "Pivorel" / "pivorel.sqlite"));
    x.terminate(program);
}

TEST(TrayWindows, ADatabaseThatCannotBeOpenedLeavesTheProgramRunningWithoutHistory) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    TempDir home;
    // The data directory is a file: nothing can be created below it.
    std::ofstream(home.path() / "data") << "not a directory";
    const auto result =
        x.run({"sh", "-c", "exec " + std::string(PIVOREL_BINARY) + " --no-permission-guide 2>&1"},
              8s, programEnv(home.path(), {{"PIVOREL_LOG_STDERR", "1"}}));
    EXPECT_EQ(result.status, -1) << "still running at the limit\n" << result.out;
    EXPECT_NE(result.out.find("Pivorel: 打不开数据库 open("), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("本次运行不保存历史"), std::string::npos) << result.out;
}
