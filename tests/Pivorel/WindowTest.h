#pragma once

#include <QEventLoop>
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

// Runs `work` on a thread while the event loop blocks between events as the program's does
// (waitUntil's polling hides some orders of events from two X connections), then for `after`.
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

inline void useHome(const std::filesystem::path& home) {
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
}

// The environment of the program run as a process with its files (and socket) in `home`.
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

// The whole program in this process, without keyring migration or permission guide.
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
