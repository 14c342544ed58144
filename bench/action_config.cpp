#include <benchmark/benchmark.h>

#include <string>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionConfigStore.h"

// actions.json is read and normalized for every selection, and a custom action expands its
// template on every click: both sit on the interactive path.

namespace {

using namespace pivorel;

std::string typicalFile() {
    ActionConfig config;
    config.hidden = {"kagi", "dayOne"};
    for (int i = 0; i < 8; ++i) {
        config.custom.push_back(CustomAction{
            CustomAction::newID(), "搜索 " + std::to_string(i), "magnifyingglass",
            "https://www.example.com/search?q={text}&from={url}", "preset." + std::to_string(i)});
    }
    return ActionConfigStore::encode(config.normalized());
}

void BM_DecodeAndNormalize(benchmark::State& state) {
    const std::string bytes = typicalFile();
    for (auto _ : state) benchmark::DoNotOptimize(ActionConfigStore::decode(bytes)->normalized());
}
BENCHMARK(BM_DecodeAndNormalize);

void BM_Encode(benchmark::State& state) {
    const ActionConfig config = *ActionConfigStore::decode(typicalFile());
    for (auto _ : state) benchmark::DoNotOptimize(ActionConfigStore::encode(config));
}
BENCHMARK(BM_Encode);

void BM_ExpandShort(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(URLTemplate::expand("https://www.google.com/search?q={text}",
                                                     "明天下午 3 点 review", std::nullopt));
    }
}
BENCHMARK(BM_ExpandShort);

void BM_ExpandLongSelection(benchmark::State& state) {
    std::string text;
    while (text.size() < 20000)
        text += "The quarterly numbers are in, 谢谢大家。👨‍👩‍👧 ";
    for (auto _ : state) {
        benchmark::DoNotOptimize(URLTemplate::expand("https://www.google.com/search?q={text}", text,
                                                     "https://example.com/page"));
    }
}
BENCHMARK(BM_ExpandLongSelection);

void BM_Validate(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(URLTemplate::validate("https://www.google.com/search?q={text}"));
    }
}
BENCHMARK(BM_Validate);

}  // namespace

BENCHMARK_MAIN();
