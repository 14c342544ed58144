#include "BrisendoKit/Content/ContentClassifier.h"

#include <benchmark/benchmark.h>

#include <string>

// Targets: a median below 20 µs for selections up to 200 characters, below 5 ms for
// 20000 characters.

namespace {

using pivorel::ContentClassifier;

const std::string paragraph =
    "The quarterly numbers are in: revenue grew 12% over last year, mostly from the new "
    "subscription plans. Churn stayed flat. Next week we review the hiring plan and the "
    "budget for the Shanghai office, 谢谢大家。";

std::string longText() {
    std::string s;
    while (s.size() < 20000) s += paragraph + "\n";
    return s.substr(0, 20000);
}

void classify(benchmark::State& state, const std::string& text) {
    for (auto _ : state) benchmark::DoNotOptimize(ContentClassifier::classify(text));
}

void BM_Link(benchmark::State& state) {
    classify(state, "https://github.com/morvale/pivorel/pull/42?tab=files#diff-1");
}
void BM_BareDomain(benchmark::State& state) {
    classify(state, "www.example.com/docs");
}
void BM_ChineseDateLine(benchmark::State& state) {
    classify(state, "明天下午3点在三楼会议室开周会，记得带上季度报告");
}
void BM_EnglishSentence(benchmark::State& state) {
    classify(state, "Please send the quarterly report to the whole team before the meeting.");
}
void BM_Word(benchmark::State& state) {
    classify(state, "serendipity");
}
void BM_Paragraph200(benchmark::State& state) {
    classify(state, paragraph);
}
void BM_Text20000(benchmark::State& state) {
    classify(state, longText());
}
void BM_Blob20000(benchmark::State& state) {
    // No white space: the link patterns run over the whole text.
    std::string blob;
    while (blob.size() < 20000) blob += "aGVsbG8.d29ybGQ-";
    classify(state, blob);
}

#define CLASSIFIER_BENCH(name) \
    BENCHMARK(name)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)

CLASSIFIER_BENCH(BM_Link);
CLASSIFIER_BENCH(BM_BareDomain);
CLASSIFIER_BENCH(BM_ChineseDateLine);
CLASSIFIER_BENCH(BM_EnglishSentence);
CLASSIFIER_BENCH(BM_Word);
CLASSIFIER_BENCH(BM_Paragraph200);
CLASSIFIER_BENCH(BM_Text20000);
CLASSIFIER_BENCH(BM_Blob20000);

}  // namespace

BENCHMARK_MAIN();
