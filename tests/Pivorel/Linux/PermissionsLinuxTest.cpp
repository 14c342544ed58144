#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>
#include <vector>

#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/LinuxPermissions.h"
#include "Pivorel/Linux/LinuxRelaunch.h"
#include "QtApp.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
namespace fs = std::filesystem;

namespace {

fs::path script(const TempDir& dir, const std::string& name, const std::string& body) {
    const auto path = dir.path() / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// A file manager that notes what it was asked to show, answering from a thread of its own
// as a separate process would while the caller waits on the main thread.
class FileManager final : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        shown = message.arguments().value(0).toStringList().join(" ").toStdString();
        return connection.send(message.createReply());
    }
    std::string shown;  // read once the caller has the answer
};

}  // namespace

TEST(LinuxPermissions, RevealNamesTheFileByItsPercentEncodedUri) {
    qtApp();
    if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
    QThread thread;
    FileManager manager;
    manager.moveToThread(&thread);
    auto bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "file-manager");
    ASSERT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
    ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/FileManager1", &manager));
    thread.start();
    for (const auto& [path, uri] :
         {std::pair{"/tmp/a b/100%.txt", "file:///tmp/a%20b/100%25.txt"},
          std::pair{"/tmp/记录/#1?.sqlite", "file:///tmp/%E8%AE%B0%E5%BD%95/%231%3F.sqlite"}}) {
        EXPECT_TRUE(LinuxPermissions().reveal(path));
        EXPECT_EQ(manager.shown, uri);
    }
    QDBusConnection::disconnectFromBus("file-manager");
    thread.quit();
    thread.wait();
}

// Output, exit status, deadlines and start failures reach the live checks below.
TEST(ChildProcess, AChildThatIgnoresTermIsKilledAtTheDeadline) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(
        ChildProcess::run({"sh", "-c", "trap '' TERM; while :; do sleep 1; done"}, 0.3).timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(ChildProcess::findInPath("no-such-program-here").empty());
}

TEST(LinuxPermissions, LiveChecksReadTheProbeChildAndGiveUpOnAHangingOne) {
    TempDir dir;
    LogCapture log;
    // What the probe child printed, and how it ended.
    const std::vector<std::tuple<const char*, PermissionKind, std::optional<bool>>> answers{
        {"echo 1", PermissionKind::accessibility, true},
        {"echo 0", PermissionKind::inputMonitoring, false},
        {"echo yes", PermissionKind::accessibility, std::nullopt},
        {"echo 1; exit 2", PermissionKind::accessibility, std::nullopt},
        // Kinds a fresh process sees no differently are not probed at all.
        {"echo 1", PermissionKind::microphone, std::nullopt}};
    int n = 0;
    for (const auto& [body, kind, expected] : answers) {
        const auto child = script(dir, "probe" + std::to_string(n++), body);
        EXPECT_EQ(LinuxPermissions(child.string()).checkLive(kind, 2), expected) << body;
    }
    EXPECT_TRUE(log.contains("live permission check accessibility unusable: rc=0 out=yes"));

    // A program whose main does not answer the probe first: cut off at the time-out.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LinuxPermissions(script(dir, "hangs", "sleep 30").string())
                  .checkLive(PermissionKind::accessibility, 0.5),
              std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(log.contains("live permission check accessibility timed out"));

    EXPECT_EQ(LinuxPermissions("/nonexistent").checkLive(PermissionKind::accessibility, 1),
              std::nullopt);
    EXPECT_TRUE(log.contains("live permission check accessibility failed to start: "));
}

TEST(LinuxPermissions, SettingsProgramsOfTheCurrentDesktopComeFirst) {
    EXPECT_EQ(LinuxPermissions::settingsCommands(PermissionKind::accessibility, "ubuntu:GNOME")[0],
              (std::vector<std::string>{"gnome-control-center", "universal-access"}));
    // Without any settings program installed, the method is empty and the log says so.
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    TempDir empty;
    ::setenv("PATH", empty.path().c_str(), 1);
    LogCapture log;
    EXPECT_EQ(LinuxPermissions().openSettingsPane(PermissionKind::accessibility), "");
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_TRUE(log.contains("open settings pane accessibility -> FAILED (front=false)"));
}

TEST(LinuxRelaunch, StartsTheSameExecutableAgainAfterAPause) {
    TempDir dir;
    LinuxRelaunch relaunch([] {});
    EXPECT_TRUE(relaunch.isInstalledExecutable(relaunch.executablePath()));
    const auto marker = dir.path() / "started";
    const auto program = script(dir, "program", "touch '" + marker.string() + "'");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(relaunch.spawnRelaunch(program));
    while (!fs::exists(marker) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(fs::exists(marker));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1100));
}
