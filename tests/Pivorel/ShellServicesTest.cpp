#include "Pivorel/ShellServices.h"

#include <gtest/gtest.h>

#include <QMessageBox>

#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Coordinator/HotKeyResponder.h"
#include "BrisendoKit/Settings/HotKeyRecorder.h"
#include "BrisendoKit/Shell/PermissionGuideController.h"
#include "BrisendoKit/Shell/PermissionPlatform.h"
#include "Fakes/FakeDesktop.h"
#include "LocalHttpServer.h"
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

// A desktop where the permission is missing until the test grants it.
struct WithheldPermission final : PermissionPlatform {
    bool granted = false;
    bool checkInProcess(PermissionKind) override { return granted; }
    std::optional<bool> checkLive(PermissionKind, double) override { return granted; }
    void request(PermissionKind) override {}
    std::string openSettingsPane(PermissionKind) override { return {}; }
    std::optional<Rect> settingsWindowFrame() override { return std::nullopt; }
    std::string programPath() override { return "/usr/bin/pivorel"; }
    bool reveal(const std::string&) override { return true; }
};

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

// The guide window waits while the permission is withheld, then goes and the program goes on.
TEST(ShellServicesWindows, TheGuideWindowWaitsForTheGrantAndThenCloses) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    QtMainQueue queue;
    auto desktop = std::make_shared<WithheldPermission>();
    FakeWorkspace workspace;
    PermissionGuideController guide(desktop, PermissionGuideWindow::factory(), workspace, queue);
    guide.runInBackground = [](std::function<void()> work) { work(); };
    guide.closeDelay = 0.1;
    bool granted = false;
    guide.ensureAccessibility(false, [&] { granted = true; });
    ASSERT_TRUE(waitUntil([] { return shownWindow<PermissionGuideWindow>() != nullptr; }));
    auto* window = shownWindow<PermissionGuideWindow>();
    EXPECT_NE(window->windowTitle().toStdString().find("Pivorel"), std::string::npos)
        << window->windowTitle().toStdString();
    EXPECT_EQ(window->status(), GuideStatus::waiting);

    desktop->granted = true;
    ASSERT_TRUE(waitUntil([] { return shownWindow<PermissionGuideWindow>() == nullptr; }, 10s));
    EXPECT_TRUE(granted);
}
