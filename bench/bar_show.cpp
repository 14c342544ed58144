// From BarController::show to the bar's window mapped on the X server, under Xvfb with
// openbox: the part of "select → bar" that the window costs. Needs the application layer
// and the test fixtures; built as a stub that says so when they are not on its include path.
#if __has_include("Pivorel/Bar/BarPanel.h") && __has_include("XSession.h")

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/BarModel.h"
#include "Pivorel/Bar/BarPanel.h"
#include "Pivorel/Linux/LinuxDesktop.h"
#include "Pivorel/QtMainQueue.h"
#include "QtApp.h"
#include "XSession.h"

using namespace pivorel;

namespace {

struct Rig {
    std::unique_ptr<QtMainQueue> queue;
    std::unique_ptr<LinuxDesktop> desktop;
    std::unique_ptr<BarPanel> window;
    std::unique_ptr<BarController> bar;
    std::string error;

    Rig() {
        auto& x = test::XSession::shared();
        if (!x.ok()) {
            error = x.error();
            return;
        }
        test::qtApp("xcb");
        queue = std::make_unique<QtMainQueue>();
        auto connected = LinuxDesktop::connect(*queue);
        if (!connected) {
            error = connected.error();
            return;
        }
        desktop = std::move(*connected);
        window = std::make_unique<BarPanel>();
        bar = std::make_unique<BarController>(*window, desktop->workspace());
    }
};

// Whether the server shows the window now: the reply comes after every request sent before.
bool mapped(std::int64_t id) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    auto* reply = xcb_get_window_attributes_reply(
        c, xcb_get_window_attributes(c, static_cast<xcb_window_t>(id)), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
}

void BM_BarShowToMapped(benchmark::State& state) {
    static Rig rig;
    if (!rig.error.empty()) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    const auto model =
        std::make_shared<BarModel>(ActionConfig::defaultOrder(), 4, ActionCatalog::builtin());
    const Point down{600, 450};
    const Point up{760, 452};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        rig.bar->show(model, down, up);
        while (!mapped(rig.bar->windowNumber())) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        rig.bar->hide();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_BarShowToMapped)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();

#else

#include <cstdio>

int main() {
    std::puts("bench_bar_show: built without the application layer (BarPanel.h, XSession.h)");
    return 0;
}

#endif
