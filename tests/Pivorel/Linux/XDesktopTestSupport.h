#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Pivorel/Linux/LinuxDesktop.h"
#include "Pivorel/QtMainQueue.h"
#include "QtApp.h"
#include "XSession.h"

namespace pivorel::test {

// Spins the Qt event loop until `done` answers true or `limit` passes.
inline bool spinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Spins the event loop for a while (lets the X server and its clients catch up).
inline void spinFor(std::chrono::milliseconds duration) {
    spinUntil([] { return false; }, duration);
}

// Runs `work` on a thread of its own while the event loop keeps spinning, as the program's
// blocking reads do.
template <class F>
auto offThread(F work) -> decltype(work()) {
    auto future = std::async(std::launch::async, std::move(work));
    spinUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              std::chrono::seconds(20));
    return future.get();
}

// Runs xdotool with `args` while the event loop keeps spinning, so the program sees each
// step as it happens (it asks the pointer's position when a press arrives).
inline bool drive(XSession& x, std::vector<std::string> args) {
    return offThread([&] { return x.xdotool(std::move(args)); });
}

// A display with openbox, Qt on it, and the desktop connected: what every test here starts
// from. Skips when there is no Xvfb.
struct XDesktopEnvironment {
    XSession* x = nullptr;
    std::unique_ptr<QtMainQueue> queue;
    std::unique_ptr<LinuxDesktop> desktop;
    std::string skipReason;

    explicit XDesktopEnvironment(const XSessionOptions& options = {}) {
        x = &XSession::shared(options);
        if (!x->ok()) {
            skipReason = x->error();
            return;
        }
        qtApp("xcb");
        queue = std::make_unique<QtMainQueue>();
        auto connected = LinuxDesktop::connect(*queue);
        if (!connected) {
            skipReason = "no desktop: " + connected.error();
            return;
        }
        desktop = std::move(connected).value();
    }

    std::array<int, 4> geometry(std::uint32_t window) { return x->windowGeometry(window); }
};

#define PIVOREL_REQUIRE_DESKTOP(env)                                     \
    do {                                                                 \
        if (!(env).skipReason.empty()) GTEST_SKIP() << (env).skipReason; \
    } while (0)

}  // namespace pivorel::test
