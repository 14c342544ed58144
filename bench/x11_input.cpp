// The X11 side of a selection under Xvfb: from the raw button release to the selected text
// in hand (the 80 ms read delay included), and what the input monitor costs while nothing
// happens or the pointer moves with no button down. Needs the application layer and the
// test fixtures; built as a stub that says so when they are not on its include path.
#if __has_include("Pivorel/Linux/LinuxDesktop.h") && __has_include("XSession.h")

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "Pivorel/Linux/LinuxDesktop.h"
#include "Pivorel/QtMainQueue.h"
#include "QtApp.h"
#include "XSession.h"

using namespace pivorel;

namespace {

using Clock = std::chrono::steady_clock;

struct Desktop {
    test::XSession* x = nullptr;
    std::unique_ptr<QtMainQueue> queue;
    std::unique_ptr<LinuxDesktop> desktop;
    xcb_connection_t* fake = nullptr;  // our "hand": XTest input
    std::string error;

    Desktop() {
        x = &test::XSession::shared();
        if (!x->ok()) {
            error = x->error();
            return;
        }
        test::qtApp("xcb");
        queue = std::make_unique<QtMainQueue>();
        auto connected = LinuxDesktop::connect(*queue);
        if (!connected) {
            error = connected.error();
            return;
        }
        desktop = std::move(connected).value();
        fake = xcb_connect(x->display().c_str(), nullptr);
        x->spawn({"xterm", "-fn", "6x13", "-geometry", "80x10+0+0", "-e", "sh", "-c",
                  "printf 'the quick brown fox jumps over the lazy dog\\n'; exec sleep 3600"});
        if (!x->waitForWindow("xterm")) error = "no xterm";
        spin(std::chrono::milliseconds(500));
    }
    ~Desktop() {
        if (fake) xcb_disconnect(fake);
    }

    static void spin(std::chrono::milliseconds d) {
        const auto end = Clock::now() + d;
        while (Clock::now() < end) {
            QEventLoop loop;
            QTimer::singleShot(1, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }

    void input(std::uint8_t type, std::uint8_t detail, int atX = 0, int atY = 0) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(fake)).data->root;
        xcb_test_fake_input(fake, type, detail, XCB_CURRENT_TIME,
                            type == XCB_MOTION_NOTIFY ? root : 0, static_cast<std::int16_t>(atX),
                            static_cast<std::int16_t>(atY), 0);
        xcb_flush(fake);
    }

    static Desktop& shared() {
        static Desktop desktop;
        return desktop;
    }
};

// Processor time of the calling (main) thread, where every X event is handled.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A drag over the first line of an xterm, then what the bar's read does: wait the read
// delay, read the selection on a worker, come back to the main thread.
void BM_ReleaseToSelectedText(benchmark::State& state) {
    auto& d = Desktop::shared();
    if (!d.error.empty()) {
        state.SkipWithError(d.error.c_str());
        return;
    }
    std::optional<Clock::time_point> released;
    auto gestures = d.desktop->input().monitorGestures([&](const GestureEvent& e) {
        if (e.isLeftMouseUp()) released = Clock::now();
    });
    bool wrong = false;
    std::vector<double> times;
    for (auto _ : state) {
        released.reset();
        d.input(XCB_MOTION_NOTIFY, 0, 30, 30);
        Desktop::spin(std::chrono::milliseconds(20));
        d.input(XCB_BUTTON_PRESS, 1);
        Desktop::spin(std::chrono::milliseconds(20));
        d.input(XCB_MOTION_NOTIFY, 0, 200, 30);
        Desktop::spin(std::chrono::milliseconds(20));
        d.input(XCB_MOTION_NOTIFY, 0, 600, 30);
        Desktop::spin(std::chrono::milliseconds(20));
        d.input(XCB_BUTTON_RELEASE, 1);
        while (!released) Desktop::spin(std::chrono::milliseconds(1));
        std::atomic<bool> done = false;
        std::optional<std::string> text;
        d.queue->postAfter(0.08, [&] {
            std::thread([&] {
                text = d.desktop->accessibility().selectedText(Accessibility::Scope::systemWide,
                                                               std::nullopt, 20000);
                d.queue->post([&] { done = true; });
            }).detach();
        });
        while (!done) {
            QEventLoop loop;
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::WaitForMoreEvents);
        }
        const auto took = std::chrono::duration<double>(Clock::now() - *released).count();
        state.SetIterationTime(took);
        times.push_back(took * 1000);
        wrong = wrong || !text || text->find("quick brown fox") == std::string::npos;
    }
    if (wrong) state.SkipWithError("a read did not give the selected line");
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        state.counters["p50_ms"] = times[times.size() / 2];
        state.counters["p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
        state.counters["max_ms"] = times.back();
    }
}
BENCHMARK(BM_ReleaseToSelectedText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// Processor time the program's main thread spends per second of wall time, with the
// gesture monitor and the activation observer installed: idle, under continuous motion with
// no button down, and under motion while a bar is shown (a move monitor installed).
void BM_MonitorCost(benchmark::State& state) {
    auto& d = Desktop::shared();
    if (!d.error.empty()) {
        state.SkipWithError(d.error.c_str());
        return;
    }
    const bool moving = state.range(0) != 0;
    auto gestures = d.desktop->input().monitorGestures([](const GestureEvent&) {});
    // As while a bar is on screen.
    Connection moves;
    if (state.range(1) != 0) moves = d.desktop->input().monitorMouseMoves([](Point) {});
    auto activations =
        d.desktop->input().observeActivations([](const std::optional<std::string>&) {});
    std::atomic<bool> stop = false;
    std::thread hand;
    if (moving) {
        // 200 motion events a second, as a hand moving a mouse makes.
        hand = std::thread([&] {
            int i = 0;
            while (!stop) {
                d.input(XCB_MOTION_NOTIFY, 0, 700 + (i++ % 200), 500);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    double share = 0;
    for (auto _ : state) {
        const double cpu = cpuSeconds();
        const auto start = Clock::now();
        // One blocking wait: the loop wakes only when an event arrives.
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::WaitForMoreEvents);
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        share = (cpuSeconds() - cpu) / wall;
        state.SetIterationTime(wall);
    }
    stop = true;
    if (hand.joinable()) hand.join();
    state.counters["cpu_share"] = share;
}
BENCHMARK(BM_MonitorCost)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

#else

#include <cstdio>

int main() {
    std::puts(
        "bench_x11_input needs the application layer (PivorelApp) and the tests' XSession"
        " on its include path; nothing measured.");
    return 0;
}

#endif
