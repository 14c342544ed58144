#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <unicode/uversion.h>

#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Content/ContentKind.h"
#include "BrisendoKit/Content/ContentProfile.h"
#include "BrisendoKit/Content/HistoryStats.h"
#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Result.h"

struct sqlite3;
struct sqlite3_stmt;

U_NAMESPACE_BEGIN
class Calendar;
U_NAMESPACE_END

namespace pivorel {

// Why a store operation failed, with SQLite's message.
struct StoreError {
    enum class Kind {
        open,  // the database could not be opened
        sql,   // a statement failed to prepare, execute or step
    };

    Kind kind = Kind::sql;
    std::string message;
    // The database was busy or locked, or the disk full or failing: the same write may
    // succeed later.
    bool transient = false;

    static StoreError open(std::string message) { return {Kind::open, std::move(message)}; }
    static StoreError sql(std::string message) { return {Kind::sql, std::move(message)}; }

    // The case name and the message: "open(unable to open database file)".
    std::string describe() const;

    bool operator==(const StoreError& other) const {
        return kind == other.kind && message == other.message;
    }
};

// One row of the selections table.
struct SelectionRecord {
    std::int64_t id = 0;
    TimePoint timestamp;
    std::string text;
    std::optional<std::string> app;
    std::optional<std::string> url;
    std::string source;
    bool dry = false;
    std::vector<ContentKind> kinds;
    std::vector<ActionID> ranking;  // best first
    std::optional<ActionID> chosen;
    std::optional<std::int64_t> chosenRank;  // 1 = the first action of `ranking`

    bool operator==(const SelectionRecord&) const = default;
};

// Today's non-dry selections, those with a choice, and those whose choice was ranked first.
struct TodayStats {
    std::int64_t count = 0;
    std::int64_t chosen = 0;
    std::int64_t hits = 0;

    std::optional<double> hitRate() const;

    bool operator==(const TodayStats&) const = default;
};

// Bar shows and misses of one application ("(未知)" when none was known).
struct BarAppSummary {
    std::string app;
    std::int64_t shown = 0;
    std::int64_t misses = 0;
    std::optional<double> avgLatencyMs;

    std::optional<double> popRate() const;

    bool operator==(const BarAppSummary&) const = default;
};

// The history database: every selection offered a ranking (and the action chosen for it),
// transcripts of model conversations, and every bar show and miss. One SQLite connection in
// WAL mode; every operation holds one mutex for its whole duration, so a store may be used
// from any thread. Failures are returned, never thrown; reading malformed stored data never
// fails.
//
// Smart ranking asks for choice counts on every selection, and the status menu for bar
// counts whenever it opens. Counting them from the base tables takes time that grows with the
// history, so small count tables, kept up to date by triggers, answer instead. They are
// built from the existing rows when a database is first opened by this code, and rebuilt
// whenever one of their objects is missing or different. A read-only store without them
// counts from the base tables.
class Store {
  public:
    using OpenResult = Result<std::unique_ptr<Store>, StoreError>;

    // Opens the database at `path`, creating the file, tables and indexes as needed. The
    // parent directory must exist. A file the process may not write is an open error.
    static OpenResult open(const std::filesystem::path& path);
    // Opens an existing database for reading only: nothing is created or written, and a
    // missing file is an open error. Write operations fail with StoreError::Kind::sql.
    static OpenResult openReadOnly(const std::filesystem::path& path);

    // "pivorel.sqlite" in the support directory (which is created).
    static std::filesystem::path defaultPath();

    // The program's history, which must never keep the program from starting. A file that is
    // damaged or not a database is moved aside ("<name>.corrupt-<seconds of now>", its -wal
    // and -shm beside it) and a fresh one created; when nothing can be opened at `path`, the
    // history lives in memory for this run and `unusable` says why.
    // A database another program holds locked is no reason to give up on it: the store is
    // in memory for now and `locked` says to open `path` again later (`adopt`).
    struct Opening {
        std::unique_ptr<Store> store;
        std::optional<std::filesystem::path> movedAside;
        std::optional<StoreError> unusable;
        bool locked = false;
    };
    static Opening openForProgram(const std::filesystem::path& path, TimePoint now);

    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Records a selection for which `ranking` was offered; returns its row id (`id` when
    // given, see nextSelectionID). The request's `editable` is not stored.
    Result<std::int64_t, StoreError> insert(const SelectRequest& request,
                                            const ContentProfile& profile,
                                            const std::vector<ActionID>& ranking, TimePoint at,
                                            std::optional<std::int64_t> id = std::nullopt);
    // The id the next selection gets: ids are never reused, also after rows are deleted.
    Result<std::int64_t, StoreError> nextSelectionID();
    // How long a statement waits for another connection's lock before failing as busy.
    void setBusyTimeout(int milliseconds);
    // Continues on `other`'s connection (the file it opened); this store's own is closed.
    void adopt(std::unique_ptr<Store> other);
    // `rank` is 1-based. An unknown id changes nothing and is no error.
    Result<Done, StoreError> markChosen(std::int64_t id, const ActionID& action, std::int64_t rank);
    Result<std::int64_t, StoreError> archive(std::int64_t selectionID, std::string_view kind,
                                             std::string_view transcript, TimePoint at);
    // `event` is "shown" or "miss"; `latencyMs` is the gesture's age in whole milliseconds.
    Result<Done, StoreError> logBar(std::string_view event, const std::optional<std::string>& app,
                                    const std::optional<std::string>& reason,
                                    std::optional<std::int64_t> latencyMs, bool dry, TimePoint at);

    // Non-dry bar events per application, most misses first, then most shows, then by name.
    Result<std::vector<BarAppSummary>, StoreError> barSummary();
    Result<std::optional<SelectionRecord>, StoreError> record(std::int64_t id);
    Result<std::int64_t, StoreError> archiveCount();
    // Counts over the calendar day of `calendar` (its time zone) that contains `now`, from its
    // first moment to the next day's (23 or 25 hours on a day the clocks change).
    Result<TodayStats, StoreError> todayStats(TimePoint now, const icu::Calendar& calendar);
    // Choices made for non-dry selections whose primary kind is `primary`: `contextual` over
    // the selections of `app` (of no application when absent), `global` over all.
    Result<HistoryStats, StoreError> history(const std::optional<std::string>& app,
                                             ContentKind primary);

    // The same answer as history(), always counted from the selections table: the reference
    // the count tables are checked against, and the answer where they are missing.
    Result<HistoryStats, StoreError> historyFromSelections(const std::optional<std::string>& app,
                                                           ContentKind primary);

    // The same answer as barSummary(), always counted from the bar_log table.
    Result<std::vector<BarAppSummary>, StoreError> barSummaryFromLog();

  private:
    // A value bound to one "?" of a statement, in order from position 1; nullptr binds NULL.
    using Bind = std::variant<std::int64_t, double, std::string_view, std::nullptr_t>;
    static Bind optText(const std::optional<std::string>& text);

    struct StatementDeleter {
        void operator()(sqlite3_stmt* statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

    Store(std::filesystem::path path, sqlite3* db);

    static OpenResult openWith(const std::filesystem::path& path, bool readOnly,
                               int busyMilliseconds = 3000);

    // The helpers below run under the caller's hold of the mutex.
    Result<Done, StoreError> exec(const char* sql);
    Result<Statement, StoreError> prepare(std::string_view sql, const std::vector<Bind>& binds);
    Result<Done, StoreError> run(std::string_view sql, const std::vector<Bind>& binds);
    Result<std::int64_t, StoreError> countOf(std::string_view sql, const std::vector<Bind>& binds);
    Result<std::vector<SelectionRecord>, StoreError> query(std::string_view sql,
                                                           const std::vector<Bind>& binds);
    // Adds the counts of each (chosen, kinds, count) row whose kinds have `primary` as
    // their primary kind.
    Result<Done, StoreError> addCounts(std::string_view sql, const std::vector<Bind>& binds,
                                       ContentKind primary, std::map<ActionID, long long>& into);
    Result<std::vector<BarAppSummary>, StoreError> summaryRows(std::string_view sql);
    Result<Done, StoreError> createSchema();
    Result<bool, StoreError> countTablesComplete();
    Result<Done, StoreError> buildCountTables();
    StoreError sqlError() const;

    std::mutex mutex_;
    std::filesystem::path path_;
    sqlite3* db_ = nullptr;
    bool useCountTables_ = false;

    // Today's counts as last computed, and the data version they belong to.
    struct Today {
        bool valid = false;
        double start = 0;
        double end = 0;
        std::int64_t version = -1;
        TodayStats stats;

        bool covers(double ts) const { return valid && ts >= start && ts < end; }
    };
    Today today_;
    // Changes when another connection commits (PRAGMA data_version); -1 when unknown.
    std::int64_t dataVersion();
};

}  // namespace pivorel
