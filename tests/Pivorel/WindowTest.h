#pragma once

#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <thread>

#include "Pivorel/AppDelegate.h"
#include "QtApp.h"

namespace pivorel::test {

// Keeps Qt's event loop turning until `done` holds or `limit` passes; answers `done()`.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline void settle(std::chrono::milliseconds time) {
    waitUntil([] { return false; }, time);
}

// Runs `work` on a thread of its own while the event loop runs as the program's does,
// blocking between events, and for `after` once `work` is done; answers what `work` did.
// waitUntil polls the loop instead, which hides some orders in which events from the
// program's two X connections arrive.
inline bool inProgramLoop(const std::function<bool()>& work, std::chrono::milliseconds after) {
    auto running = std::async(std::launch::async, work);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (running.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
        poll.stop();
        QTimer::singleShot(after, &loop, &QEventLoop::quit);
    });
    poll.start(10);
    loop.exec();
    return running.get();
}

// The whole screen as `name`.png, in $PIVOREL_SCREENSHOT_DIR when it is set and in
// /tmp/pivorel-shots for a person to look at.
inline void keepScreenshot(const std::string& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QImage image = screen->grabWindow(0).toImage();
    std::vector<std::filesystem::path> dirs{"/tmp/pivorel-shots"};
    if (const char* dir = std::getenv("PIVOREL_SCREENSHOT_DIR"); dir && *dir)
        dirs.emplace_back(dir);
    for (const auto& dir : dirs) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        image.save(QString::fromStdString((dir / (name + ".png")).string()), "PNG");
    }
}

inline void useHome(const std::filesystem::path& home) {
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
}

// The environment of the program started in a process of its own with its files in `home`
// (and its single-instance socket too: another test's program may hold the shared one).
inline std::map<std::string, std::string> programEnv(const std::filesystem::path& home,
                                                     std::map<std::string, std::string> more = {}) {
    const auto runtime = home / "run";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    more.insert({{"XDG_RUNTIME_DIR", runtime.string()},
                 {"XDG_CONFIG_HOME", (home / "config").string()},
                 {"XDG_DATA_HOME", (home / "data").string()}});
    return more;
}

// The whole program in this process on the display, with no keyring migration and no
// permission guide; null when it did not start.
inline std::unique_ptr<AppDelegate> startDelegate() {
    qtApp("xcb");
    AppDelegate::Options options;
    options.keychainMigration = false;
    options.permissionGuide = false;
    auto delegate = std::make_unique<AppDelegate>(options);
    if (delegate->start() != 0) return nullptr;
    return delegate;
}

}  // namespace pivorel::test
