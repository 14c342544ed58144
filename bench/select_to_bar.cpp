// The whole program under Xvfb with openbox, accessibility on, and an xterm, Firefox and
// Chromium (full-screen on a page served from 127.0.0.1): from the raw button release of a
// drag over a line of text to the bar's window mapped on the X server (the 80 ms read delay
// included). Counters p50_ms, p95_ms and max_ms over every drag, per program. Needs the
// application layer and the test fixtures; built as a stub that says so when they are not
// there. A browser that is not installed is skipped.
#if __has_include("Pivorel/AppDelegate.h") && __has_include("XSession.h")

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "LocalHttpServer.h"
#include "Pivorel/AppDelegate.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/LinuxDesktop.h"
#include "QtApp.h"
#include "TempDir.h"
#include "XSession.h"

using namespace pivorel;
using Steady = std::chrono::steady_clock;

namespace {

constexpr const char* pageHTML =
    "<!doctype html><html><body style='margin:0;font:24px/32px sans-serif'>"
    "<p style='position:absolute;left:20px;top:14px;margin:0;width:600px'>"
    "the quick brown fox jumps</p></body></html>";

struct Program {
    test::TempDir home;
    test::LocalHttpServer page;
    std::unique_ptr<AppDelegate> delegate;
    xcb_connection_t* hand = nullptr;  // XTest input, and questions to the server
    std::string error;

    Program() {
        auto& x = test::XSession::shared();
        if (!x.ok()) {
            error = x.error();
            return;
        }
        ::setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home.path() / "data").c_str(), 1);
        x.run({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
               "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
               "variant:boolean:true"});
        page.server.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(pageHTML, "text/html");
        });
        page.start();
        test::qtApp("xcb");
        AppDelegate::Options options;
        options.keychainMigration = false;
        options.permissionGuide = false;
        delegate = std::make_unique<AppDelegate>(options);
        if (delegate->start() != 0) {
            error = "the program did not start";
            return;
        }
        hand = xcb_connect(x.display().c_str(), nullptr);
    }
    ~Program() {
        if (hand) xcb_disconnect(hand);
    }

    // Starts `argv` once and brings its window to the front; false when it cannot.
    bool front(const std::string& name, const std::vector<std::string>& argv,
               const std::string& windowClass) {
        auto& x = test::XSession::shared();
        if (!started_.count(name)) {
            if (ChildProcess::findInPath(argv.front()).empty()) return false;
            x.spawn(argv);
            started_.insert(name);
        }
        const auto window = x.waitForWindow(windowClass, std::chrono::seconds(20));
        if (!window) return false;
        x.run({"xdotool", "windowactivate", "--sync", std::to_string(*window)});
        spin(std::chrono::milliseconds(1500));
        return true;
    }

    std::set<std::string> started_;

    static void spin(std::chrono::milliseconds d) {
        const auto end = Steady::now() + d;
        while (Steady::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }

    void input(std::uint8_t type, std::uint8_t detail, int atX = 0, int atY = 0) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(hand)).data->root;
        xcb_test_fake_input(hand, type, detail, XCB_CURRENT_TIME,
                            type == XCB_MOTION_NOTIFY ? root : 0, static_cast<std::int16_t>(atX),
                            static_cast<std::int16_t>(atY), 0);
        xcb_flush(hand);
    }

    bool mapped(std::int64_t id) {
        auto* reply = xcb_get_window_attributes_reply(
            hand, xcb_get_window_attributes(hand, static_cast<xcb_window_t>(id)), nullptr);
        const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return viewable;
    }
};

Program& program() {
    static Program p;
    return p;
}

// Drags over the line of text at `y` from x `startX` to `endX` (from another start each
// time), or, with `words`, double-clicks one of those x positions in turn: a browser keeps
// a drag's selection so that the next press on it would drag the text itself.
void releaseToBar(benchmark::State& state, int y, int startX, int endX,
                  std::vector<int> words = {}) {
    Program& program = ::program();
    AppController& controller = *program.delegate->controller();
    std::optional<Steady::time_point> released;
    auto gestures =
        program.delegate->desktop()->input().monitorGestures([&](const GestureEvent& e) {
            if (e.isLeftMouseUp()) released = Steady::now();
        });
    std::vector<double> times;
    int missed = 0;
    for (auto _ : state) {
        released.reset();
        const auto step = times.size() + static_cast<std::size_t>(missed);
        if (words.empty()) {
            const int start = startX + static_cast<int>(step % 3) * 6;
            program.input(XCB_MOTION_NOTIFY, 0, start, y);
            Program::spin(std::chrono::milliseconds(30));
            program.input(XCB_BUTTON_PRESS, 1);
            Program::spin(std::chrono::milliseconds(20));
            program.input(XCB_MOTION_NOTIFY, 0, (start + endX) / 2, y);
            Program::spin(std::chrono::milliseconds(20));
            program.input(XCB_MOTION_NOTIFY, 0, endX, y);
            Program::spin(std::chrono::milliseconds(20));
            program.input(XCB_BUTTON_RELEASE, 1);
        } else {
            program.input(XCB_MOTION_NOTIFY, 0, words[step % words.size()], y);
            Program::spin(std::chrono::milliseconds(30));
            for (int click = 0; click < 2; ++click) {
                program.input(XCB_BUTTON_PRESS, 1);
                Program::spin(std::chrono::milliseconds(15));
                program.input(XCB_BUTTON_RELEASE, 1);
                if (click == 0) Program::spin(std::chrono::milliseconds(40));
            }
        }
        const auto limit = Steady::now() + std::chrono::seconds(2);
        while ((!released || !controller.bar().isVisible() ||
                !program.mapped(controller.bar().windowNumber())) &&
               Steady::now() < limit) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        if (!released || !controller.bar().isVisible()) {
            ++missed;
            state.SetIterationTime(2);
        } else {
            const double took = std::chrono::duration<double>(Steady::now() - *released).count();
            state.SetIterationTime(took);
            times.push_back(took * 1000);
        }
        controller.hideBar();
        Program::spin(std::chrono::milliseconds(150));
    }
    if (missed) state.counters["missed"] = missed;
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        state.counters["p50_ms"] = times[times.size() / 2];
        state.counters["p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
        state.counters["max_ms"] = times.back();
    }
}

void BM_ReleaseToBarMapped_xterm(benchmark::State& state) {
    if (!program().error.empty()) return state.SkipWithError(program().error.c_str());
    if (!program().front(
            "xterm",
            {"xterm", "-fn", "6x13", "-geometry", "80x10+0+0", "-e", "sh", "-c",
             "printf 'the quick brown fox jumps over the lazy dog\\n'; exec sleep 3600"},
            "xterm")) {
        return state.SkipWithError("no xterm");
    }
    releaseToBar(state, 30, 20, 260);
}

void BM_ReleaseToBarMapped_firefox(benchmark::State& state) {
    if (!program().error.empty()) return state.SkipWithError(program().error.c_str());
    static test::TempDir profile;
    if (!program().front("firefox",
                         {"firefox-esr", "--kiosk", "--no-remote", "--profile",
                          profile.path().string(), program().page.url("/")},
                         "firefox-esr")) {
        return state.SkipWithError("no firefox-esr");
    }
    releaseToBar(state, 30, 0, 0, {40, 95, 170});
}

void BM_ReleaseToBarMapped_chromium(benchmark::State& state) {
    if (!program().error.empty()) return state.SkipWithError(program().error.c_str());
    static test::TempDir profile;
    if (!program().front(
            "chromium",
            {"chromium", "--kiosk", "--force-renderer-accessibility", "--no-sandbox",
             "--disable-gpu", "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--password-store=basic",
             "--test-type", "--user-data-dir=" + profile.path().string(), program().page.url("/")},
            "chromium")) {
        return state.SkipWithError("no chromium");
    }
    releaseToBar(state, 30, 0, 0, {40, 95, 170});
}

BENCHMARK(BM_ReleaseToBarMapped_xterm)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);
BENCHMARK(BM_ReleaseToBarMapped_firefox)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);
BENCHMARK(BM_ReleaseToBarMapped_chromium)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

}  // namespace

BENCHMARK_MAIN();

#else

#include <cstdio>

int main() {
    std::puts("bench_select_to_bar: built without the application layer (AppDelegate.h)");
    return 0;
}

#endif
