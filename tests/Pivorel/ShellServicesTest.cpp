#include "Pivorel/ShellServices.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>

#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Coordinator/HotKeyResponder.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Settings/HotKeyRecorder.h"
#include "BrisendoKit/Shell/PermissionGuideController.h"
#include "Fakes/FakeDesktop.h"
#include "LocalHttpServer.h"
#include "Pivorel/Linux/AtSpiStatus.h"
#include "Pivorel/Linux/LinuxPermissions.h"
#include "Pivorel/QtMainQueue.h"
#include "Pivorel/Settings/GeneralSettingsView.h"
#include "Pivorel/Settings/SettingsWindow.h"
#include "Pivorel/WindowTest.h"
#include "Pivorel/Windows/PermissionGuideWindow.h"
#include "TempDir.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

std::string appcast(const std::string& version) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
           "<item><title>Pivorel " +
           version + "</title><link>https://pivorel.app/releases/" + version +
           "</link><enclosure url=\"https://pivorel.app/pivorel_" + version +
           ".deb\" sparkle:version=\"" + version + "\" sparkle:shortVersionString=\"" + version +
           "\"/></item></channel></rss>";
}

// The top-level window of class T that is on screen, if any.
template <class T>
T* shownWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    }
    return nullptr;
}

}  // namespace

// The tray's commands reach real windows in the running program; a user check says at once
// that it runs, then what it found.
TEST(ShellServicesWindows, TheMenusCommandsOpenTheirWindowsOnceAndTellTheCheck) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    TempDir home;
    useHome(home.path());
    LocalHttpServer feed;
    std::atomic<bool> answer{false};
    feed.server.Get("/appcast.xml", [&](const httplib::Request&, httplib::Response& res) {
        // Held until the test has seen the "checking" text.
        for (int i = 0; i < 500 && !answer; ++i) std::this_thread::sleep_for(10ms);
        res.set_content(appcast("99.0"), "application/rss+xml");
    });
    feed.start();
    ::setenv("PIVOREL_APPCAST_URL", feed.url("/appcast.xml").c_str(), 1);
    const auto program = startDelegate();
    ASSERT_TRUE(program);
    AppDelegate& delegate = *program;
    ShellServices& services = *delegate.services();

    services.openSettings();
    ASSERT_TRUE(waitUntil([] { return shownWindow<SettingsWindow>() != nullptr; }));
    SettingsWindow* settings = shownWindow<SettingsWindow>();
    EXPECT_EQ(settings->windowTitle().toStdString(), "Pivorel 设置");
    // Recording the very combination the program holds: the window gets it, not the grab.
    ASSERT_TRUE(delegate.hotKey()->isRegistered());
    HotKeyRecorder& recorder = settings->root().general().recorder();
    recorder.toggle();
    ASSERT_TRUE(waitUntil([&] { return !delegate.hotKey()->isRegistered(); }));
    ASSERT_TRUE(waitUntil([&] { return settings->isActiveWindow(); }));
    ASSERT_TRUE(x.xdotool({"key", "ctrl+alt+n"}));
    EXPECT_TRUE(waitUntil([&] { return !recorder.isRecording(); })) << "the grab took the key";
    EXPECT_TRUE(waitUntil([&] { return delegate.hotKey()->isRegistered(); }));
    EXPECT_FALSE(delegate.controller()->panel().isVisible());
    settings->close();
    services.openSettings();
    ASSERT_TRUE(waitUntil([] { return shownWindow<SettingsWindow>() != nullptr; }));
    EXPECT_EQ(shownWindow<SettingsWindow>(), settings) << "a second window was made";
    settings->close();

    services.checkForUpdates();
    auto boxText = [] {
        auto* box = shownWindow<QMessageBox>();
        return box ? box->text().toStdString() : std::string();
    };
    EXPECT_TRUE(waitUntil([&] { return boxText() == "正在检查更新…"; })) << boxText();
    answer = true;
    ASSERT_TRUE(waitUntil([&] { return boxText().find("99.0") != std::string::npos; }, 10s))
        << boxText();
    // Someone who asked sees the update at once: nothing waits in the tray.
    EXPECT_FALSE(services.pendingUpdateVersion());
    shownWindow<QMessageBox>()->close();
    ::unsetenv("PIVOREL_APPCAST_URL");
}

// Accessibility off on a real accessibility bus: the guide's own button turns it on, the
// probe sees it, the guide goes and the program goes on, once.
TEST(ShellServicesWindows, TheGuidesSwitchTurnsTheAccessibilityBusOnAndTheProgramGoesOnOnce) {
    ::setenv("GSETTINGS_BACKEND", "memory", 1);  // the bus launcher's and ours: not the user's
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    ASSERT_EQ(AtSpiStatus::query(5000), false);
    QtMainQueue queue;
    FakeWorkspace workspace;
    PermissionGuideController guide(std::make_shared<LinuxPermissions>(PIVOREL_BINARY),
                                    PermissionGuideWindow::factory(), workspace, queue);
    guide.closeDelay = guide.restartNoticeDelay = 0.1;
    int resumed = 0;
    guide.ensureAccessibility(false, [&] { ++resumed; });
    ASSERT_TRUE(waitUntil([] { return shownWindow<PermissionGuideWindow>() != nullptr; }));
    std::map<QString, QPushButton*> buttons;
    for (auto* b : shownWindow<PermissionGuideWindow>()->findChildren<QPushButton*>()) {
        buttons[b->text()] = b;
    }
    EXPECT_FALSE(buttons.count(QString::fromStdString(L("在访达中显示"))));
    ASSERT_TRUE(buttons.count(QString::fromStdString(L("打开辅助功能"))));

    buttons[QString::fromStdString(L("打开辅助功能"))]->click();
    EXPECT_EQ(AtSpiStatus::query(2000), true);
    ASSERT_TRUE(waitUntil([] { return shownWindow<PermissionGuideWindow>() == nullptr; }, 15s));
    settle(2s);
    EXPECT_EQ(resumed, 1);
}
