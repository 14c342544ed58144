#include "BrisendoKit/Content/Ranker.h"

#include <benchmark/benchmark.h>

#include <string>

// Ranking runs for every selection before the bar shows. Target: a median below 10 µs for
// the default configuration.

namespace {

using namespace pivorel;

const ContentProfile shortEnglishWord{{ContentKind::english, ContentKind::shortPhrase}};

HistoryStats typicalHistory() {
    HistoryStats history;
    long long n = 1;
    for (const ActionID& id : ActionID::builtins()) {
        history.contextual[id] = n;
        history.global[id] = 7 * n++;
    }
    return history;
}

void BM_RankDefault(benchmark::State& state) {
    const ActionConfig config;
    const HistoryStats history = HistoryStats::empty();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Ranker::rank(shortEnglishWord, std::nullopt, history, config, false));
    }
}
BENCHMARK(BM_RankDefault)->Repetitions(10)->ReportAggregatesOnly(true);

// Everything weighed: an application group, an editable field and history for every action.
void BM_RankDefaultWithHistory(benchmark::State& state) {
    const ActionConfig config;
    const HistoryStats history = typicalHistory();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Ranker::rank(shortEnglishWord, "org.gnome.Terminal", history, config, true));
    }
}
BENCHMARK(BM_RankDefaultWithHistory)->Repetitions(10)->ReportAggregatesOnly(true);

void BM_RankWithCustomActions(benchmark::State& state) {
    ActionConfig config;
    config.hidden = {"kagi", "dayOne"};
    for (int i = 0; i < 8; ++i) {
        config.custom.push_back(
            CustomAction{CustomAction::newID(), "搜索 " + std::to_string(i), "magnifyingglass",
                         "https://www.example.com/search?q={text}", std::nullopt});
    }
    const HistoryStats history = typicalHistory();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Ranker::rank(shortEnglishWord, "firefox", history, config, false));
    }
}
BENCHMARK(BM_RankWithCustomActions)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
