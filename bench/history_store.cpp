#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unicode/calendar.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "BrisendoKit/Storage/Store.h"

// The store is written on every selection, choice and bar event and read for every ranking,
// so each of these sits on the interactive path. Measured on a history of a heavy user: a
// million selections and 200,000 bar events. The database is built once in /tmp and kept
// for later runs; rows a run adds are removed again at its end.

namespace {

using namespace pivorel;
namespace fs = std::filesystem;

constexpr std::int64_t selectionRows = 1'000'000;
constexpr std::int64_t barRows = 200'000;
constexpr int appCount = 50;
constexpr int days = 1000;
// 2024-06-10 12:00 UTC, the last day of the history.
constexpr double lastMoment = 1'718'020'800.0;

const fs::path databasePath = "/tmp/pivorel-bench-history.sqlite";

std::string appName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "com.example.app%02d", i);
    return name;
}

// Kind sets the classifier produces, together covering all eight kinds.
const std::vector<std::string> kindSets = {
    "url",
    "url,english",
    "dateTime,chinese,shortPhrase",
    "dateTime,english,sentence",
    "todoLike,chinese,shortPhrase",
    "todoLike,dateTime,chinese,sentence",
    "english,shortPhrase",
    "english,sentence",
    "english,longParagraph",
    "chinese,shortPhrase",
    "chinese,sentence",
    "chinese,longParagraph",
    "english,chinese,sentence",
    "shortPhrase",
    "sentence",
    "",
};

std::int64_t countRows(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    std::int64_t n = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        n = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    return n;
}

void execOrDie(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, message ? message : "?");
        std::exit(1);
    }
}

// Drops whatever an earlier run added; true when the filled history is there.
bool trimToFill() {
    if (!fs::exists(databasePath)) return false;
    sqlite3* db = nullptr;
    if (sqlite3_open(databasePath.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_exec(db, "DELETE FROM selections WHERE id > 1000000", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "DELETE FROM bar_log WHERE id > 200000", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "DELETE FROM archives", nullptr, nullptr, nullptr);
    const bool ready = countRows(db, "SELECT COUNT(*) FROM selections") == selectionRows &&
                       countRows(db, "SELECT COUNT(*) FROM bar_log") == barRows;
    sqlite3_close(db);
    return ready;
}

void fill() {
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(databasePath.string() + suffix);
    // The store makes the schema; the rows go in through one transaction.
    { auto created = Store::open(databasePath); }
    sqlite3* db = nullptr;
    sqlite3_open(databasePath.c_str(), &db);
    execOrDie(db, "BEGIN");
    std::mt19937_64 random(7);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO selections (ts, text, app, url, source, dry, kinds, ranking, "
                       "chosen, chosen_rank) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    const auto& actions = ActionID::builtins();
    const double first = lastMoment - days * 86400.0;
    for (std::int64_t i = 0; i < selectionRows; ++i) {
        const double ts = first + (lastMoment - first) * double(i) / double(selectionRows);
        const std::string text = "selection number " + std::to_string(i) + " with some words";
        const std::string app = appName(int(random() % appCount));
        const std::string& kinds = kindSets[random() % kindSets.size()];
        std::string ranking = "[";
        const std::size_t offset = random() % actions.size();
        for (std::size_t k = 0; k < 8; ++k) {
            if (k) ranking += ',';
            ranking += '"' + actions[(offset + k) % actions.size()].rawValue + '"';
        }
        ranking += ']';
        sqlite3_bind_double(insert, 1, ts);
        sqlite3_bind_text(insert, 2, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, app.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_null(insert, 4);
        sqlite3_bind_text(insert, 5, "bar", -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 6, random() % 10 == 0 ? 1 : 0);
        sqlite3_bind_text(insert, 7, kinds.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 8, ranking.c_str(), -1, SQLITE_TRANSIENT);
        if (random() % 10 < 6) {
            const std::size_t rank = random() % 4;  // mostly near the top
            sqlite3_bind_text(insert, 9, actions[(offset + rank) % actions.size()].rawValue.c_str(),
                              -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 10, std::int64_t(rank + 1));
        } else {
            sqlite3_bind_null(insert, 9);
            sqlite3_bind_null(insert, 10);
        }
        if (sqlite3_step(insert) != SQLITE_DONE) execOrDie(db, "SELECT fill_failed()");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);

    sqlite3_prepare_v2(db,
                       "INSERT INTO bar_log (ts, event, app, reason, latency_ms, dry) VALUES (?, "
                       "?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    for (std::int64_t i = 0; i < barRows; ++i) {
        const bool miss = random() % 100 < 15;
        const std::string app = appName(int(random() % appCount));
        sqlite3_bind_double(insert, 1, first + (lastMoment - first) * double(i) / double(barRows));
        sqlite3_bind_text(insert, 2, miss ? "miss" : "shown", -1, SQLITE_STATIC);
        if (random() % 50 == 0) {
            sqlite3_bind_null(insert, 3);
        } else {
            sqlite3_bind_text(insert, 3, app.c_str(), -1, SQLITE_TRANSIENT);
        }
        if (miss) {
            sqlite3_bind_text(insert, 4, "no-selection", -1, SQLITE_STATIC);
        } else {
            sqlite3_bind_null(insert, 4);
        }
        sqlite3_bind_int64(insert, 5, std::int64_t(40 + random() % 400));
        sqlite3_bind_int(insert, 6, random() % 10 == 0 ? 1 : 0);
        if (sqlite3_step(insert) != SQLITE_DONE) execOrDie(db, "SELECT fill_failed()");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    // Like a history written before the count tables existed: the first opening builds them.
    execOrDie(db, "DROP TABLE choice_counts");
    execOrDie(db, "COMMIT");
    execOrDie(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
}

Store* store = nullptr;

std::unique_ptr<icu::Calendar> utcCalendar() {
    UErrorCode status = U_ZERO_ERROR;
    return std::unique_ptr<icu::Calendar>(icu::Calendar::createInstance(
        icu::TimeZone::createTimeZone("UTC"), icu::Locale::getRoot(), status));
}

// Google Benchmark reports means; the targets are medians of single operations.
class Timings {
  public:
    explicit Timings(benchmark::State& state) : state_(state) {}
    ~Timings() {
        if (samples_.empty()) return;
        std::sort(samples_.begin(), samples_.end());
        state_.counters["median_ms"] = samples_[samples_.size() / 2];
        state_.counters["p99_ms"] = samples_[samples_.size() * 99 / 100];
    }
    template <class F>
    void time(F&& f) {
        const auto begin = std::chrono::steady_clock::now();
        f();
        const auto end = std::chrono::steady_clock::now();
        samples_.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
    }

  private:
    benchmark::State& state_;
    std::vector<double> samples_;
};

SelectRequest sampleRequest(int i) {
    SelectRequest request;
    request.text = "a new selection, number " + std::to_string(i);
    request.app = appName(i % appCount);
    request.source = "bar";
    return request;
}

const std::vector<ActionID> sampleRanking = {
    ActionID::translate(), ActionID::google(), ActionID::copy(),  ActionID::ask(),
    ActionID::lookup(),    ActionID::kagi(),   ActionID::flomo(), ActionID::todo()};

void BM_Insert(benchmark::State& state) {
    Timings timings(state);
    const ContentProfile profile{{ContentKind::english, ContentKind::shortPhrase}};
    int i = 0;
    for (auto _ : state) {
        timings.time([&] {
            benchmark::DoNotOptimize(store->insert(sampleRequest(i++), profile, sampleRanking,
                                                   fromUnixSeconds(lastMoment)));
        });
    }
}
BENCHMARK(BM_Insert)->Unit(benchmark::kMicrosecond);

void BM_MarkChosen(benchmark::State& state) {
    const ContentProfile profile{{ContentKind::chinese, ContentKind::sentence}};
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 2000; ++i) {
        ids.push_back(
            *store->insert(sampleRequest(i), profile, sampleRanking, fromUnixSeconds(lastMoment)));
    }
    Timings timings(state);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::int64_t id = ids[i++ % ids.size()];
        timings.time(
            [&] { benchmark::DoNotOptimize(store->markChosen(id, ActionID::google(), 2)); });
    }
}
BENCHMARK(BM_MarkChosen)->Unit(benchmark::kMicrosecond);

void BM_History(benchmark::State& state) {
    Timings timings(state);
    int i = 0;
    for (auto _ : state) {
        const std::string app = appName(i % appCount);
        const ContentKind primary = allContentKinds[std::size_t(i++) % allContentKinds.size()];
        timings.time([&] { benchmark::DoNotOptimize(store->history(app, primary)); });
    }
}
BENCHMARK(BM_History)->Unit(benchmark::kMicrosecond);

// The same counts from the base tables: what the count tables save.
void BM_HistoryFromSelections(benchmark::State& state) {
    Timings timings(state);
    int i = 0;
    for (auto _ : state) {
        const std::string app = appName(i++ % appCount);
        timings.time([&] {
            benchmark::DoNotOptimize(store->historyFromSelections(app, ContentKind::shortPhrase));
        });
    }
}
BENCHMARK(BM_HistoryFromSelections)->Unit(benchmark::kMillisecond)->Iterations(5);

// A full day of the history (1,000 selections), not the one the insert benchmark adds to.
void BM_TodayStats(benchmark::State& state) {
    auto calendar = utcCalendar();
    const TimePoint dayBefore = fromUnixSeconds(lastMoment - 86400.0);
    Timings timings(state);
    for (auto _ : state) {
        timings.time([&] { benchmark::DoNotOptimize(store->todayStats(dayBefore, *calendar)); });
    }
}
BENCHMARK(BM_TodayStats)->Unit(benchmark::kMicrosecond);

// One selection on a busy day: recorded, chosen, and the day's counts shown again, with
// range(0) selections already made today. Flat in range(0) when the counts follow the
// store's writes; range(1) = 1 has another connection write each time, which forces the
// recount every selection used to pay.
void BM_SelectionOnABusyDay(benchmark::State& state) {
    const fs::path path = "/tmp/pivorel-bench-busy-day.sqlite";
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
    auto opened = Store::open(path);
    auto busy = std::move(opened.value());
    sqlite3* other = nullptr;
    sqlite3_open(path.c_str(), &other);
    execOrDie(other, "BEGIN");
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        const std::string row = "INSERT INTO selections (ts, text, chosen, chosen_rank) VALUES (" +
                                std::to_string(lastMoment - 3600 + double(i) / 100) +
                                ", 'x', 'copy', " + std::to_string(i % 3 + 1) + ")";
        execOrDie(other, row.c_str());
    }
    execOrDie(other, "COMMIT");
    auto calendar = utcCalendar();
    const ContentProfile profile{{ContentKind::english, ContentKind::shortPhrase}};
    Timings timings(state);
    int i = 0;
    for (auto _ : state) {
        if (state.range(1))
            execOrDie(other, "UPDATE selections SET chosen_rank = chosen_rank + 1 WHERE id = 1");
        timings.time([&] {
            const auto id = busy->insert(sampleRequest(i++), profile, sampleRanking,
                                         fromUnixSeconds(lastMoment));
            busy->markChosen(*id, ActionID::copy(), 1);
            benchmark::DoNotOptimize(busy->todayStats(fromUnixSeconds(lastMoment), *calendar));
        });
    }
    sqlite3_close(other);
    busy.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
}
BENCHMARK(BM_SelectionOnABusyDay)
    ->ArgsProduct({{0, 10'000, 50'000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

void BM_BarSummary(benchmark::State& state) {
    Timings timings(state);
    for (auto _ : state) timings.time([&] { benchmark::DoNotOptimize(store->barSummary()); });
}
BENCHMARK(BM_BarSummary)->Unit(benchmark::kMicrosecond);

void BM_BarSummaryFromLog(benchmark::State& state) {
    Timings timings(state);
    for (auto _ : state)
        timings.time([&] { benchmark::DoNotOptimize(store->barSummaryFromLog()); });
}
BENCHMARK(BM_BarSummaryFromLog)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!trimToFill()) {
        std::fprintf(stderr, "Filling %s ...\n", databasePath.c_str());
        fill();
    }
    const auto openStart = std::chrono::steady_clock::now();
    auto opened = Store::open(databasePath);
    if (!opened.ok()) {
        std::fprintf(stderr, "%s\n", opened.error().describe().c_str());
        return 1;
    }
    std::fprintf(
        stderr, "Opened in %.0f ms (the first opening builds the count tables)\n",
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - openStart)
            .count());
    store = opened->get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    opened->reset();
    trimToFill();
    return 0;
}
