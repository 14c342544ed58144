#include "BrisendoKit/Content/DateExtractor.h"

#include <benchmark/benchmark.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <chrono>
#include <memory>
#include <string>

// Target: a median below 50 µs for texts up to 200 characters.

namespace {

using pivorel::DateExtractor;
using pivorel::TimePoint;

// Wednesday 1 May 2024, 10:00 in Shanghai.
const TimePoint now = TimePoint(
    std::chrono::sys_days(std::chrono::year(2024) / std::chrono::May / 1) + std::chrono::hours(2));

const icu::Calendar& shanghai() {
    static const auto* cal = [] {
        UErrorCode status = U_ZERO_ERROR;
        return new icu::GregorianCalendar(icu::TimeZone::createTimeZone(u"Asia/Shanghai"), status);
    }();
    return *cal;
}

// About 200 characters of prose with nothing a date rule reads: every pattern runs over
// all of it and fails.
const std::string prose =
    "The quarterly numbers are in: revenue grew over last year, mostly from the new "
    "subscription plans. Churn stayed flat and the team would like to review the hiring plan "
    "with everyone soon, 谢谢大家的支持。";

void extract(benchmark::State& state, const std::string& text) {
    for (auto _ : state) benchmark::DoNotOptimize(DateExtractor::extract(text, now, shanghai()));
}

void BM_RelativeDayAndHour(benchmark::State& state) {
    extract(state, "明天下午3点开会");
}
void BM_WeekdayAndClock(benchmark::State& state) {
    extract(state, "下下周一 14:30 在三楼会议室开周会，记得带上季度报告");
}
void BM_MonthDay(benchmark::State& state) {
    extract(state, "截止日期 2024年12月3日，请提前准备");
}
void BM_EnglishTime(benchmark::State& state) {
    extract(state, "Call Alice back at 9pm about the contract");
}
void BM_NoDate200(benchmark::State& state) {
    extract(state, prose);
}
void BM_DateAtEnd200(benchmark::State& state) {
    extract(state, prose + " 周五晚上8点半");
}

#define DATE_BENCH(name) \
    BENCHMARK(name)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)

DATE_BENCH(BM_RelativeDayAndHour);
DATE_BENCH(BM_WeekdayAndClock);
DATE_BENCH(BM_MonthDay);
DATE_BENCH(BM_EnglishTime);
DATE_BENCH(BM_NoDate200);
DATE_BENCH(BM_DateAtEnd200);

}  // namespace

BENCHMARK_MAIN();
