// Cost of each detector call. Items are detector calls, so items_per_second gives the rate of
// single calls; the target is well under 1 µs per call.
#include <benchmark/benchmark.h>

#include "BrisendoKit/Selection/SelectionDetector.h"

using namespace pivorel;
using D = SelectionDetector;
using Event = D::Event;

namespace {

const std::optional<std::string> frontApp = "org.gnome.Terminal";

std::string selectedText(std::int64_t length) {
    std::string s = "  ";
    while (static_cast<std::int64_t>(s.size()) < length) s += "serendipity ";
    return s + "\n";
}

// A whole drag selection: press, drag, release (read), text arrives (show). The next press
// hides the bar again, so every round does the same work.
void BM_Gesture(benchmark::State& state) {
    D detector{D::Config{}};
    const std::string text = selectedText(state.range(0));
    const TimePoint now = fromUnixSeconds(1'750'000'000);
    for (auto _ : state) {
        auto down = detector.handle(Event::MouseDown{1, {100, 100}}, frontApp, now);
        auto drag = detector.handle(Event::MouseDragged{{300, 100}}, frontApp, now);
        auto up = detector.handle(Event::MouseUp{1, {300, 100}, false}, frontApp, now);
        auto shown =
            detector.readFinished(detector.token(), D::ReadResult::Text{text}, frontApp, now);
        benchmark::DoNotOptimize(down);
        benchmark::DoNotOptimize(drag);
        benchmark::DoNotOptimize(up);
        benchmark::DoNotOptimize(shown);
    }
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_Gesture)->Arg(12)->Arg(400);

// The text has already been copied into the ReadResult by the reader, so the benchmark only
// counts the detector's own trim and copies.
void BM_KeyDownHidesBar(benchmark::State& state) {
    D detector{D::Config{}};
    const TimePoint now = fromUnixSeconds(1'750'000'000);
    detector.handle(Event::MouseDown{2, {100, 100}}, frontApp, now);
    detector.handle(Event::MouseUp{2, {100, 100}, false}, frontApp, now);
    const D::ReadResult word = D::ReadResult::Text{"serendipity"};
    for (auto _ : state) {
        // The key press leaves the token current, so the same gesture shows again.
        auto shown = detector.readFinished(detector.token(), word, frontApp, now);
        auto hidden = detector.handle(Event::KeyDown{53}, frontApp, now);
        benchmark::DoNotOptimize(shown);
        benchmark::DoNotOptimize(hidden);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_KeyDownHidesBar);

// The most frequent calls: events that change nothing visible.
void BM_QuietEvents(benchmark::State& state) {
    D detector{D::Config{}};
    const TimePoint now = fromUnixSeconds(1'750'000'000);
    for (auto _ : state) {
        auto key = detector.handle(Event::KeyDown{0}, frontApp, now);
        auto moved = detector.handle(Event::MouseMoved{20}, frontApp, now);
        benchmark::DoNotOptimize(key);
        benchmark::DoNotOptimize(moved);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_QuietEvents);

}  // namespace

BENCHMARK_MAIN();
