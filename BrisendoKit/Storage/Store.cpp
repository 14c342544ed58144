#include "BrisendoKit/Storage/Store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unicode/calendar.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

constexpr const char* createSelections =
    "CREATE TABLE IF NOT EXISTS selections (\n"
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "  ts REAL NOT NULL,\n"
    "  text TEXT NOT NULL,\n"
    "  app TEXT,\n"
    "  url TEXT,\n"
    "  source TEXT NOT NULL DEFAULT 'popclip',\n"
    "  dry INTEGER NOT NULL DEFAULT 0,\n"
    "  kinds TEXT NOT NULL DEFAULT '',\n"
    "  ranking TEXT NOT NULL DEFAULT '[]',\n"
    "  chosen TEXT,\n"
    "  chosen_rank INTEGER\n"
    ")";

constexpr const char* createArchives =
    "CREATE TABLE IF NOT EXISTS archives (\n"
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "  selection_id INTEGER NOT NULL,\n"
    "  ts REAL NOT NULL,\n"
    "  kind TEXT NOT NULL,\n"
    "  transcript TEXT NOT NULL\n"
    ")";

constexpr const char* createBarLog =
    "CREATE TABLE IF NOT EXISTS bar_log (\n"
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "  ts REAL NOT NULL,\n"
    "  event TEXT NOT NULL,\n"
    "  app TEXT,\n"
    "  reason TEXT,\n"
    "  latency_ms INTEGER,\n"
    "  dry INTEGER NOT NULL DEFAULT 0\n"
    ")";

// Count tables that answer history() and barSummary() without reading every row. They hold
// nothing of their own: each is a grouped count of a base table, kept current by triggers
// (so every writer of the file, not just this code, keeps it right) and rebuilt from the
// base table whenever one of its objects is missing or differs from the definition below.
//
// choice_counts_by_app and choice_counts: one row per (application, chosen action, stored
// kinds) and per (chosen action, stored kinds) over the non-dry selections with a choice.
// `has_app` keeps "no application" apart from an application named "". A NULL `kinds` (only
// in a table made elsewhere) counts as "", which decodes the same.
//
// bar_counts: one row per application (NULL as "(未知)") over the non-dry bar events, with
// the sum and number of latencies of its "shown" events.
struct SchemaObject {
    std::string name;
    std::string sql;
};

// `$` in a pattern stands for the trigger's NEW or OLD row.
std::string forRow(std::string_view pattern, std::string_view row) {
    std::string out;
    for (char c : pattern) {
        if (c == '$') {
            out += row;
        } else {
            out += c;
        }
    }
    return out;
}

constexpr std::string_view choiceCounted = "$.dry = 0 AND $.chosen IS NOT NULL";
constexpr std::string_view choiceAdd =
    "INSERT INTO choice_counts_by_app (has_app, app, chosen, kinds, n) VALUES ($.app IS NOT "
    "NULL, IFNULL($.app, ''), $.chosen, IFNULL($.kinds, ''), 1) ON CONFLICT (has_app, app, "
    "chosen, kinds) DO UPDATE SET n = n + 1; "
    "INSERT INTO choice_counts (chosen, kinds, n) VALUES ($.chosen, IFNULL($.kinds, ''), 1) "
    "ON CONFLICT (chosen, kinds) DO UPDATE SET n = n + 1; ";
constexpr std::string_view choiceRemove =
    "UPDATE choice_counts_by_app SET n = n - 1 WHERE has_app = ($.app IS NOT NULL) AND app = "
    "IFNULL($.app, '') AND chosen = $.chosen AND kinds = IFNULL($.kinds, ''); "
    "DELETE FROM choice_counts_by_app WHERE has_app = ($.app IS NOT NULL) AND app = "
    "IFNULL($.app, '') AND chosen = $.chosen AND kinds = IFNULL($.kinds, '') AND n <= 0; "
    "UPDATE choice_counts SET n = n - 1 WHERE chosen = $.chosen AND kinds = IFNULL($.kinds, ''); "
    "DELETE FROM choice_counts WHERE chosen = $.chosen AND kinds = IFNULL($.kinds, '') AND "
    "n <= 0; ";

// The same CASE expressions as the plain summary statement, so both count alike whatever a
// column holds.
constexpr std::string_view barCounted = "$.dry = 0";
constexpr std::string_view barValues =
    "COALESCE($.app, '(未知)'), 1, CASE WHEN $.event = 'shown' THEN 1 ELSE 0 END, CASE WHEN "
    "$.event = 'miss' THEN 1 ELSE 0 END, CASE WHEN $.event = 'shown' THEN 0 + "
    "IFNULL($.latency_ms, 0) ELSE 0 END, CASE WHEN $.event = 'shown' AND $.latency_ms IS NOT "
    "NULL THEN 1 ELSE 0 END";
constexpr std::string_view barAdd =
    "INSERT INTO bar_counts (app, events, shown, misses, latency_sum, latency_count) VALUES "
    "(@) ON CONFLICT (app) DO UPDATE SET events = events + excluded.events, shown = shown + "
    "excluded.shown, misses = misses + excluded.misses, latency_sum = latency_sum + "
    "excluded.latency_sum, latency_count = latency_count + excluded.latency_count; ";
constexpr std::string_view barRemove =
    "UPDATE bar_counts SET events = events - 1, shown = shown - (CASE WHEN $.event = 'shown' "
    "THEN 1 ELSE 0 END), misses = misses - (CASE WHEN $.event = 'miss' THEN 1 ELSE 0 END), "
    "latency_sum = latency_sum - (CASE WHEN $.event = 'shown' THEN 0 + IFNULL($.latency_ms, 0) "
    "ELSE 0 END), latency_count = latency_count - (CASE WHEN $.event = 'shown' AND "
    "$.latency_ms IS NOT NULL THEN 1 ELSE 0 END) WHERE app = COALESCE($.app, '(未知)'); "
    "DELETE FROM bar_counts WHERE app = COALESCE($.app, '(未知)') AND events <= 0; ";

std::string trigger(std::string_view name, std::string_view event, std::string_view when,
                    std::string_view body, std::string_view row) {
    return "CREATE TRIGGER " + std::string(name) + " AFTER " + std::string(event) + " WHEN " +
           forRow(when, row) + " BEGIN " + forRow(body, row) + "END";
}

// Tables first, then triggers: the order they are created in.
const std::vector<SchemaObject>& countSchema() {
    static const std::vector<SchemaObject> schema = [] {
        std::string barAddNew(barAdd);
        barAddNew.replace(barAddNew.find('@'), 1, barValues);
        const std::string selectionsChange = "UPDATE OF app, dry, kinds, chosen ON selections";
        const std::string barChange = "UPDATE OF app, event, latency_ms, dry ON bar_log";
        std::vector<SchemaObject> objects = {
            {"choice_counts_by_app",
             "CREATE TABLE choice_counts_by_app (has_app INTEGER NOT NULL, app TEXT NOT NULL, "
             "chosen TEXT NOT NULL, kinds TEXT NOT NULL, n INTEGER NOT NULL, PRIMARY KEY "
             "(has_app, app, chosen, kinds)) WITHOUT ROWID"},
            {"choice_counts",
             "CREATE TABLE choice_counts (chosen TEXT NOT NULL, kinds TEXT NOT NULL, n INTEGER "
             "NOT NULL, PRIMARY KEY (chosen, kinds)) WITHOUT ROWID"},
            {"bar_counts",
             "CREATE TABLE bar_counts (app TEXT NOT NULL PRIMARY KEY, events INTEGER NOT NULL, "
             "shown INTEGER NOT NULL, misses INTEGER NOT NULL, latency_sum NOT NULL, "
             "latency_count INTEGER NOT NULL) WITHOUT ROWID"},
        };
        auto add = [&](std::string name, std::string_view event, std::string_view when,
                       std::string_view body, std::string_view row) {
            std::string sql = trigger(name, event, when, body, row);
            objects.push_back({std::move(name), std::move(sql)});
        };
        add("choice_counts_on_insert", "INSERT ON selections", choiceCounted, choiceAdd, "NEW");
        add("choice_counts_on_update_old", selectionsChange, choiceCounted, choiceRemove, "OLD");
        add("choice_counts_on_update_new", selectionsChange, choiceCounted, choiceAdd, "NEW");
        add("choice_counts_on_delete", "DELETE ON selections", choiceCounted, choiceRemove, "OLD");
        add("bar_counts_on_insert", "INSERT ON bar_log", barCounted, barAddNew, "NEW");
        add("bar_counts_on_update_old", barChange, barCounted, barRemove, "OLD");
        add("bar_counts_on_update_new", barChange, barCounted, barAddNew, "NEW");
        add("bar_counts_on_delete", "DELETE ON bar_log", barCounted, barRemove, "OLD");
        return objects;
    }();
    return schema;
}

constexpr const char* fillCountStatements[] = {
    "INSERT INTO choice_counts_by_app (has_app, app, chosen, kinds, n) "
    "SELECT app IS NOT NULL, IFNULL(app, ''), chosen, IFNULL(kinds, ''), COUNT(*) "
    "FROM selections WHERE dry = 0 AND chosen IS NOT NULL GROUP BY 1, 2, 3, 4 "
    "ON CONFLICT (has_app, app, chosen, kinds) DO UPDATE SET n = n + excluded.n",

    "INSERT INTO choice_counts (chosen, kinds, n) SELECT chosen, IFNULL(kinds, ''), COUNT(*) "
    "FROM selections WHERE dry = 0 AND chosen IS NOT NULL GROUP BY 1, 2 "
    "ON CONFLICT (chosen, kinds) DO UPDATE SET n = n + excluded.n",

    "INSERT INTO bar_counts (app, events, shown, misses, latency_sum, latency_count) "
    "SELECT COALESCE(app, '(未知)'), COUNT(*), SUM(CASE WHEN event = 'shown' THEN 1 ELSE 0 END), "
    "SUM(CASE WHEN event = 'miss' THEN 1 ELSE 0 END), SUM(CASE WHEN event = 'shown' THEN 0 + "
    "IFNULL(latency_ms, 0) ELSE 0 END), SUM(CASE WHEN event = 'shown' AND latency_ms IS NOT "
    "NULL THEN 1 ELSE 0 END) FROM bar_log WHERE dry = 0 GROUP BY 1 "
    "ON CONFLICT (app) DO UPDATE SET events = events + excluded.events, shown = shown + "
    "excluded.shown, misses = misses + excluded.misses, latency_sum = latency_sum + "
    "excluded.latency_sum, latency_count = latency_count + excluded.latency_count",
};

std::string encodeKinds(const ContentKindSet& kinds) {
    std::string out;
    for (ContentKind kind : kinds) {  // declaration order, whatever the order of insertion
        if (!out.empty()) out += ',';
        out += toString(kind);
    }
    return out;
}

// Split on ",", empty pieces dropped, unknown names skipped.
template <class Add>
void decodeKinds(std::string_view raw, Add add) {
    while (!raw.empty()) {
        const std::size_t comma = raw.find(',');
        const std::string_view piece = raw.substr(0, comma);
        if (auto kind = contentKindFromString(piece)) add(*kind);
        if (comma == std::string_view::npos) break;
        raw.remove_prefix(comma + 1);
    }
}

// Compact JSON with "/" written as "\/", as the stored rankings have always been written.
std::string encodeRanking(const std::vector<ActionID>& ranking) {
    for (const ActionID& id : ranking) {
        if (!text::isValidUtf8(id.rawValue)) return "[]";
    }
    nlohmann::json array = nlohmann::json::array();
    for (const ActionID& id : ranking) array.push_back(id.rawValue);
    const std::string dumped = array.dump();
    std::string out;
    out.reserve(dumped.size() + 8);
    for (char c : dumped) {
        if (c == '/') out += '\\';  // "/" only ever occurs inside a string in JSON text
        out += c;
    }
    return out;
}

// Accepts exactly one array of strings and nothing else; stops at the first other token,
// so a hostile value costs no more than reading it.
class RankingReader final : public nlohmann::json_sax<nlohmann::json> {
  public:
    std::vector<ActionID> ids;

    bool start_array(std::size_t) override { return !std::exchange(opened_, true); }
    bool string(string_t& value) override {
        if (!opened_ || closed_) return false;
        ids.emplace_back(std::move(value));
        return true;
    }
    bool end_array() override { return opened_ && !std::exchange(closed_, true); }
    bool null() override { return false; }
    bool boolean(bool) override { return false; }
    bool number_integer(number_integer_t) override { return false; }
    bool number_unsigned(number_unsigned_t) override { return false; }
    bool number_float(number_float_t, const string_t&) override { return false; }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return false; }
    bool key(string_t&) override { return false; }
    bool end_object() override { return false; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    bool opened_ = false;
    bool closed_ = false;
};

std::vector<ActionID> decodeRanking(std::string_view raw) {
    RankingReader reader;
    const bool ok = nlohmann::json::sax_parse(raw, &reader, nlohmann::json::input_format_t::json,
                                              /*strict=*/true, /*ignore_comments=*/false);
    if (!ok) return {};
    return std::move(reader.ids);
}

// Column text, byte for byte (an embedded NUL included); invalid UTF-8 left by another
// writer is repaired. NULL reads as absent.
std::optional<std::string> columnText(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    const int size = sqlite3_column_bytes(statement, column);
    if (bytes == nullptr) return std::string();
    const std::string_view raw(bytes, static_cast<std::size_t>(size));
    return text::isValidUtf8(raw) ? std::string(raw) : text::repairUtf8(raw);
}

std::string_view columnView(sqlite3_stmt* statement, int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (bytes == nullptr) return {};
    return {bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

SelectionRecord decodeRecord(sqlite3_stmt* statement) {
    SelectionRecord r;
    r.id = sqlite3_column_int64(statement, 0);
    r.timestamp = fromUnixSeconds(sqlite3_column_double(statement, 1));
    r.text = columnText(statement, 2).value_or("");
    r.app = columnText(statement, 3);
    r.url = columnText(statement, 4);
    r.source = columnText(statement, 5).value_or("");
    r.dry = sqlite3_column_int64(statement, 6) != 0;
    decodeKinds(columnView(statement, 7), [&](ContentKind kind) { r.kinds.push_back(kind); });
    if (sqlite3_column_type(statement, 8) != SQLITE_NULL) {
        r.ranking = decodeRanking(columnView(statement, 8));
    }
    if (auto chosen = columnText(statement, 9)) r.chosen = ActionID(std::move(*chosen));
    if (sqlite3_column_type(statement, 10) != SQLITE_NULL) {
        r.chosenRank = sqlite3_column_int64(statement, 10);
    }
    return r;
}

// The first moment of the calendar day that contains `ms`, in the calendar's time zone.
std::optional<UDate> startOfDay(icu::Calendar& calendar, UDate ms) {
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(ms, status);
    calendar.set(UCAL_HOUR_OF_DAY, 0);
    calendar.set(UCAL_MINUTE, 0);
    calendar.set(UCAL_SECOND, 0);
    calendar.set(UCAL_MILLISECOND, 0);
    const UDate start = calendar.getTime(status);
    if (U_FAILURE(status)) return std::nullopt;
    return start;
}

}  // namespace

std::string StoreError::describe() const {
    return (kind == Kind::open ? "open(" : "sql(") + message + ")";
}

std::optional<double> TodayStats::hitRate() const {
    if (chosen < 1) return std::nullopt;
    return static_cast<double>(hits) / static_cast<double>(chosen);
}

std::optional<double> BarAppSummary::popRate() const {
    const std::int64_t total = shown + misses;
    if (total < 1) return std::nullopt;
    return static_cast<double>(shown) / static_cast<double>(total);
}

void Store::StatementDeleter::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

Store::Bind Store::optText(const std::optional<std::string>& text) {
    if (!text) return nullptr;
    return std::string_view(*text);
}

Store::Store(std::filesystem::path path, sqlite3* db) : path_(std::move(path)), db_(db) {}

Store::~Store() {
    sqlite3_close_v2(db_);
}

std::filesystem::path Store::defaultPath() {
    return AppIdentity::supportDirectory() / AppIdentity::databaseFileName;
}

Store::OpenResult Store::open(const std::filesystem::path& path) {
    return openWith(path, false);
}

Store::Opening Store::openForProgram(const std::filesystem::path& path, TimePoint now) {
    Opening result;
    const auto moveAside = [&] {
        auto aside = fileio::moveAside(path, now);
        if (!aside) return false;
        for (const char* suffix : {"-wal", "-shm"}) {
            ::rename((path.string() + suffix).c_str(), (aside->string() + suffix).c_str());
        }
        result.movedAside = std::move(aside);
        return true;
    };
    // A file without SQLite's header goes before SQLite touches the journal beside it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        char head[16];
        const ssize_t n = ::read(fd, head, sizeof head);
        ::close(fd);
        constexpr std::string_view magic{"SQLite format 3\0", 16};
        if (n > 0 && std::string_view(head, static_cast<std::size_t>(n)) != magic) moveAside();
    }
    // Not the usual wait: a locked file is tried again in the background, not at start.
    auto opened = openWith(path, false, 250);
    if (!opened && !result.movedAside &&
        (opened.error().message == sqlite3_errstr(SQLITE_CORRUPT) ||
         opened.error().message == sqlite3_errstr(SQLITE_NOTADB)) &&
        moveAside()) {
        opened = openWith(path, false, 250);
    }
    if (opened) {
        result.store = std::move(*opened);
        return result;
    }
    result.unusable = opened.error();
    result.locked = opened.error().transient;
    auto memory = open(":memory:");
    if (memory) result.store = std::move(*memory);
    return result;
}

Store::OpenResult Store::openReadOnly(const std::filesystem::path& path) {
    return openWith(path, true);
}

Store::OpenResult Store::openWith(const std::filesystem::path& path, bool readOnly,
                                  int busyMilliseconds) {
    sqlite3* db = nullptr;
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_FULLMUTEX;
    if (!readOnly && path != ":memory:") {
        // The history is the user's alone. SQLite gives its journal files the database's
        // mode, so a database created 0600 keeps them private too.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) ::close(fd);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            fileio::makePrivate(path.string() + suffix);
        }
    }
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    // From here the store owns the handle, so it is closed on every path.
    std::unique_ptr<Store> store(new Store(path, db));
    if (rc != SQLITE_OK) {
        return fail(StoreError::open(db ? sqlite3_errmsg(db) : "open failed"));
    }
    if (db == nullptr) return fail(StoreError::open("open failed"));
    // SQLite quietly falls back to reading a file it may not write; a store that can never
    // record anything must not pass for a working one.
    if (!readOnly && sqlite3_db_readonly(db, "main") == 1) {
        return fail(StoreError::open(sqlite3_errstr(SQLITE_READONLY)));
    }
    sqlite3_busy_timeout(db, busyMilliseconds);

    std::lock_guard lock(store->mutex_);
    if (!readOnly) {
        if (auto created = store->createSchema(); !created) return fail(created.error());
    }
    auto complete = store->countTablesComplete();
    if (!complete) return fail(complete.error());
    if (!*complete && !readOnly) {
        if (auto built = store->buildCountTables(); !built) return fail(built.error());
        store->useCountTables_ = true;
    } else {
        store->useCountTables_ = *complete;
    }
    return store;
}

Result<Done, StoreError> Store::createSchema() {
    const char* statements[] = {
        "PRAGMA journal_mode=WAL",
        // Committed transactions survive a crash of the program; only a power loss can take
        // back the last ones, and never corrupts the file. Without it every selection would
        // wait for the disk.
        "PRAGMA synchronous=NORMAL",
        createSelections,
        "CREATE INDEX IF NOT EXISTS idx_sel_ts ON selections(ts)",
        createArchives,
        createBarLog,
        "CREATE INDEX IF NOT EXISTS idx_bar_ts ON bar_log(ts)",
    };
    for (const char* sql : statements) {
        if (auto done = exec(sql); !done) return done;
    }
    return Done{};
}

Result<bool, StoreError> Store::countTablesComplete() {
    auto statement = prepare("SELECT name, sql FROM sqlite_master", {});
    if (!statement) return fail(statement.error());
    std::size_t matching = 0;
    int rc;
    while ((rc = sqlite3_step(statement->get())) == SQLITE_ROW) {
        const std::string_view name = columnView(statement->get(), 0);
        const std::string_view sql = columnView(statement->get(), 1);
        for (const SchemaObject& object : countSchema()) {
            if (name == object.name && sql == object.sql) ++matching;
        }
    }
    if (rc != SQLITE_DONE) return fail(sqlError());
    return matching == countSchema().size();
}

Result<Done, StoreError> Store::buildCountTables() {
    if (auto begun = exec("BEGIN IMMEDIATE"); !begun) return begun;
    auto build = [this]() -> Result<Done, StoreError> {
        // Another process may have built them while this one waited for the write lock.
        auto complete = countTablesComplete();
        if (!complete) return fail(complete.error());
        if (*complete) return Done{};
        // Triggers go with their tables, but a stray one would fire into the new tables.
        for (const SchemaObject& object : countSchema()) {
            const bool isTable = object.sql.starts_with("CREATE TABLE");
            const std::string drop =
                (isTable ? "DROP TABLE IF EXISTS " : "DROP TRIGGER IF EXISTS ") + object.name;
            if (auto done = exec(drop.c_str()); !done) return done;
        }
        for (const SchemaObject& object : countSchema()) {
            if (object.sql.starts_with("CREATE TRIGGER")) break;
            if (auto done = exec(object.sql.c_str()); !done) return done;
        }
        for (const char* fill : fillCountStatements) {
            if (auto done = exec(fill); !done) return done;
        }
        for (const SchemaObject& object : countSchema()) {
            if (!object.sql.starts_with("CREATE TRIGGER")) continue;
            if (auto done = exec(object.sql.c_str()); !done) return done;
        }
        return Done{};
    };
    auto built = build();
    if (!built) {
        exec("ROLLBACK");
        return built;
    }
    return exec("COMMIT");
}

std::int64_t Store::dataVersion() {
    auto version = countOf("PRAGMA data_version", {});
    return version ? *version : -1;
}

namespace {

bool isTransient(int code) {
    switch (code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_FULL:
        case SQLITE_IOERR:
            return true;
        default:
            return false;
    }
}

}  // namespace

StoreError Store::sqlError() const {
    StoreError error = StoreError::sql(sqlite3_errmsg(db_));
    error.transient = isTransient(sqlite3_extended_errcode(db_));
    return error;
}

Result<Done, StoreError> Store::exec(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return Done{};
    StoreError error = StoreError::sql(message ? message : "exec failed");
    error.transient = isTransient(rc);
    sqlite3_free(message);
    return fail(std::move(error));
}

Result<Store::Statement, StoreError> Store::prepare(std::string_view sql,
                                                    const std::vector<Bind>& binds) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK || !statement) return fail(sqlError());
    int position = 1;
    for (const Bind& bind : binds) {
        int bound = SQLITE_OK;
        if (const auto* i = std::get_if<std::int64_t>(&bind)) {
            bound = sqlite3_bind_int64(statement.get(), position, *i);
        } else if (const auto* d = std::get_if<double>(&bind)) {
            bound = sqlite3_bind_double(statement.get(), position, *d);
        } else if (const auto* text = std::get_if<std::string_view>(&bind)) {
            // With its length, so a text holding a NUL character is stored whole.
            bound = sqlite3_bind_text64(statement.get(), position, text->data(), text->size(),
                                        SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
            bound = sqlite3_bind_null(statement.get(), position);
        }
        if (bound != SQLITE_OK) return fail(sqlError());
        ++position;
    }
    return statement;
}

Result<Done, StoreError> Store::run(std::string_view sql, const std::vector<Bind>& binds) {
    auto statement = prepare(sql, binds);
    if (!statement) return fail(statement.error());
    if (sqlite3_step(statement->get()) != SQLITE_DONE) return fail(sqlError());
    return Done{};
}

Result<std::int64_t, StoreError> Store::countOf(std::string_view sql,
                                                const std::vector<Bind>& binds) {
    auto statement = prepare(sql, binds);
    if (!statement) return fail(statement.error());
    std::int64_t count = 0;
    int rc;
    while ((rc = sqlite3_step(statement->get())) == SQLITE_ROW) {
        count = sqlite3_column_int64(statement->get(), 0);
    }
    if (rc != SQLITE_DONE) return fail(sqlError());
    return count;
}

Result<std::vector<SelectionRecord>, StoreError> Store::query(std::string_view sql,
                                                              const std::vector<Bind>& binds) {
    auto statement = prepare(sql, binds);
    if (!statement) return fail(statement.error());
    std::vector<SelectionRecord> records;
    int rc;
    while ((rc = sqlite3_step(statement->get())) == SQLITE_ROW) {
        records.push_back(decodeRecord(statement->get()));
    }
    if (rc != SQLITE_DONE) return fail(sqlError());
    return records;
}

Result<std::int64_t, StoreError> Store::insert(const SelectRequest& request,
                                               const ContentProfile& profile,
                                               const std::vector<ActionID>& ranking, TimePoint at,
                                               std::optional<std::int64_t> id) {
    const std::string kinds = encodeKinds(profile.kinds);
    const std::string rankingJSON = encodeRanking(ranking);
    std::vector<Bind> binds{toUnixSeconds(at),
                            std::string_view(request.text),
                            optText(request.app),
                            optText(request.url),
                            std::string_view(request.source),
                            std::int64_t{request.dry ? 1 : 0},
                            std::string_view(kinds),
                            std::string_view(rankingJSON)};
    if (id) binds.push_back(*id);
    std::lock_guard lock(mutex_);
    auto done =
        run(id ? "INSERT INTO selections (ts, text, app, url, source, dry, kinds, ranking, "
                 "id)\nVALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
               : "INSERT INTO selections (ts, text, app, url, source, dry, kinds, ranking)\n"
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
            binds);
    if (!done) return fail(done.error());
    const double ts = toUnixSeconds(at);
    if (!request.dry && today_.covers(ts)) {
        ++today_.stats.count;
    }
    return static_cast<std::int64_t>(sqlite3_last_insert_rowid(db_));
}

Result<std::int64_t, StoreError> Store::nextSelectionID() {
    std::lock_guard lock(mutex_);
    auto last = countOf(
        "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'selections'), 0), "
        "coalesce((SELECT max(id) FROM selections), 0))",
        {});
    if (!last) return last;
    return *last + 1;
}

void Store::setBusyTimeout(int milliseconds) {
    std::lock_guard lock(mutex_);
    sqlite3_busy_timeout(db_, milliseconds);
}

void Store::adopt(std::unique_ptr<Store> other) {
    std::scoped_lock lock(mutex_, other->mutex_);
    std::swap(db_, other->db_);
    std::swap(path_, other->path_);
    std::swap(useCountTables_, other->useCountTables_);
    today_ = {};
}

Result<Done, StoreError> Store::markChosen(std::int64_t id, const ActionID& action,
                                           std::int64_t rank) {
    std::lock_guard lock(mutex_);
    // What the row counted for before, so today's counts follow without a recount.
    std::optional<std::array<std::int64_t, 2>> before;
    if (today_.valid) {
        auto row = prepare(
            "SELECT chosen IS NOT NULL, coalesce(chosen_rank = 1, 0) FROM selections WHERE id = ? "
            "AND dry = 0 AND ts >= ? AND ts < ?",
            {id, today_.start, today_.end});
        if (!row) return fail(row.error());
        if (sqlite3_step(row->get()) == SQLITE_ROW) {
            before = {sqlite3_column_int64(row->get(), 0), sqlite3_column_int64(row->get(), 1)};
        }
    }
    auto done = run("UPDATE selections SET chosen = ?, chosen_rank = ? WHERE id = ?",
                    {std::string_view(action.rawValue), rank, id});
    if (!done) return done;
    if (before) {
        today_.stats.chosen += 1 - (*before)[0];
        today_.stats.hits += (rank == 1 ? 1 : 0) - (*before)[1];
    }
    return done;
}

Result<std::int64_t, StoreError> Store::archive(std::int64_t selectionID, std::string_view kind,
                                                std::string_view transcript, TimePoint at) {
    std::lock_guard lock(mutex_);
    auto done = run("INSERT INTO archives (selection_id, ts, kind, transcript) VALUES (?, ?, ?, ?)",
                    {selectionID, toUnixSeconds(at), kind, transcript});
    if (!done) return fail(done.error());
    return static_cast<std::int64_t>(sqlite3_last_insert_rowid(db_));
}

Result<Done, StoreError> Store::logBar(std::string_view event,
                                       const std::optional<std::string>& app,
                                       const std::optional<std::string>& reason,
                                       std::optional<std::int64_t> latencyMs, bool dry,
                                       TimePoint at) {
    const Bind latency = latencyMs ? Bind(*latencyMs) : Bind(nullptr);
    std::lock_guard lock(mutex_);
    return run(
        "INSERT INTO bar_log (ts, event, app, reason, latency_ms, dry) VALUES (?, ?, ?, ?, ?, ?)",
        {toUnixSeconds(at), event, optText(app), optText(reason), latency,
         std::int64_t{dry ? 1 : 0}});
}

Result<std::vector<BarAppSummary>, StoreError> Store::barSummary() {
    // Fixed when the store was opened.
    if (!useCountTables_) return barSummaryFromLog();
    std::lock_guard lock(mutex_);
    return summaryRows(
        "SELECT app, shown, misses, CASE WHEN latency_count > 0 THEN CAST(latency_sum AS REAL) "
        "/ latency_count END FROM bar_counts ORDER BY misses DESC, shown DESC, app");
}

Result<std::vector<BarAppSummary>, StoreError> Store::barSummaryFromLog() {
    std::lock_guard lock(mutex_);
    // Ties are ordered by application, so both ways of counting give the same list.
    return summaryRows(
        "SELECT COALESCE(app, '(未知)'),\n"
        "SUM(CASE WHEN event = 'shown' THEN 1 ELSE 0 END),\n"
        "SUM(CASE WHEN event = 'miss' THEN 1 ELSE 0 END),\n"
        "AVG(CASE WHEN event = 'shown' THEN latency_ms END)\n"
        "FROM bar_log WHERE dry = 0 GROUP BY COALESCE(app, '(未知)') ORDER BY 3 DESC, 2 DESC, 1");
}

Result<std::vector<BarAppSummary>, StoreError> Store::summaryRows(std::string_view sql) {
    auto statement = prepare(sql, {});
    if (!statement) return fail(statement.error());
    std::vector<BarAppSummary> rows;
    int rc;
    while ((rc = sqlite3_step(statement->get())) == SQLITE_ROW) {
        sqlite3_stmt* s = statement->get();
        BarAppSummary row;
        row.app = columnText(s, 0).value_or("");
        row.shown = sqlite3_column_int64(s, 1);
        row.misses = sqlite3_column_int64(s, 2);
        if (sqlite3_column_type(s, 3) != SQLITE_NULL) {
            row.avgLatencyMs = sqlite3_column_double(s, 3);
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) return fail(sqlError());
    return rows;
}

Result<std::optional<SelectionRecord>, StoreError> Store::record(std::int64_t id) {
    std::lock_guard lock(mutex_);
    auto records = query(
        "SELECT id, ts, text, app, url, source, dry, kinds, ranking, chosen, chosen_rank FROM "
        "selections WHERE id = ?",
        {id});
    if (!records) return fail(records.error());
    if (records->empty()) return std::optional<SelectionRecord>();
    return std::optional<SelectionRecord>(std::move(records->front()));
}

Result<std::int64_t, StoreError> Store::archiveCount() {
    std::lock_guard lock(mutex_);
    return countOf("SELECT COUNT(*) FROM archives", {});
}

Result<TodayStats, StoreError> Store::todayStats(TimePoint now, const icu::Calendar& calendar) {
    const double nowSeconds = toUnixSeconds(now);
    double start = std::floor(nowSeconds / 86400.0) * 86400.0;
    double end = start + 86400.0;
    std::unique_ptr<icu::Calendar> day(calendar.clone());
    if (day) {
        // A day that begins inside a clock change begins at its first valid moment.
        day->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
        day->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
        const auto first = startOfDay(*day, nowSeconds * 1000.0);
        UErrorCode status = U_ZERO_ERROR;
        day->add(UCAL_DATE, 1, status);
        const auto next = U_SUCCESS(status) ? startOfDay(*day, day->getTime(status)) : std::nullopt;
        // The next day's start, not a fixed 24 hours: a day with a clock change has 23 or 25.
        if (first && next && U_SUCCESS(status) && *next > *first) {
            start = *first / 1000.0;
            end = *next / 1000.0;
        }
    }

    std::lock_guard lock(mutex_);
    const std::int64_t version = dataVersion();
    // Counting the day's rows on every selection would cost more as the day goes on; this
    // store's own writes keep the counts current, another connection's commit voids them.
    if (today_.valid && today_.start == start && today_.end == end && today_.version == version) {
        return today_.stats;
    }
    TodayStats stats;
    const std::vector<Bind> bounds = {start, end};
    auto count =
        countOf("SELECT COUNT(*) FROM selections WHERE dry = 0 AND ts >= ? AND ts < ?", bounds);
    if (!count) return fail(count.error());
    auto chosen = countOf(
        "SELECT COUNT(*) FROM selections WHERE dry = 0 AND chosen IS NOT NULL AND ts >= ? AND "
        "ts < ?",
        bounds);
    if (!chosen) return fail(chosen.error());
    auto hits = countOf(
        "SELECT COUNT(*) FROM selections WHERE dry = 0 AND chosen_rank = 1 AND ts >= ? AND ts < ?",
        bounds);
    if (!hits) return fail(hits.error());
    stats.count = *count;
    stats.chosen = *chosen;
    stats.hits = *hits;
    today_ = {true, start, end, version, stats};
    return stats;
}

Result<Done, StoreError> Store::addCounts(std::string_view sql, const std::vector<Bind>& binds,
                                          ContentKind primary,
                                          std::map<ActionID, long long>& into) {
    auto statement = prepare(sql, binds);
    if (!statement) return fail(statement.error());
    int rc;
    while ((rc = sqlite3_step(statement->get())) == SQLITE_ROW) {
        sqlite3_stmt* s = statement->get();
        auto chosen = columnText(s, 0);
        if (!chosen) continue;
        ContentProfile profile;
        decodeKinds(columnView(s, 2), [&](ContentKind kind) { profile.kinds.insert(kind); });
        if (profile.primary() != primary) continue;
        into[ActionID(std::move(*chosen))] += sqlite3_column_int64(s, 1);
    }
    if (rc != SQLITE_DONE) return fail(sqlError());
    return Done{};
}

Result<HistoryStats, StoreError> Store::history(const std::optional<std::string>& app,
                                                ContentKind primary) {
    // Fixed when the store was opened.
    if (!useCountTables_) return historyFromSelections(app, primary);
    std::lock_guard lock(mutex_);
    HistoryStats stats;
    auto contextual =
        app ? addCounts(
                  "SELECT chosen, n, kinds FROM choice_counts_by_app WHERE has_app = 1 AND "
                  "app = ? AND n > 0",
                  {std::string_view(*app)}, primary, stats.contextual)
            : addCounts(
                  "SELECT chosen, n, kinds FROM choice_counts_by_app WHERE has_app = 0 AND "
                  "n > 0",
                  {}, primary, stats.contextual);
    if (!contextual) return fail(contextual.error());
    auto global = addCounts("SELECT chosen, n, kinds FROM choice_counts WHERE n > 0", {}, primary,
                            stats.global);
    if (!global) return fail(global.error());
    return stats;
}

Result<HistoryStats, StoreError> Store::historyFromSelections(const std::optional<std::string>& app,
                                                              ContentKind primary) {
    std::lock_guard lock(mutex_);
    const std::string base =
        "SELECT chosen, COUNT(*), kinds FROM selections WHERE dry = 0 AND chosen IS NOT NULL";
    const std::string groups = " GROUP BY chosen, kinds";
    HistoryStats stats;
    auto contextual =
        app ? addCounts(base + " AND app = ?" + groups, {std::string_view(*app)}, primary,
                        stats.contextual)
            : addCounts(base + " AND app IS NULL" + groups, {}, primary, stats.contextual);
    if (!contextual) return fail(contextual.error());
    auto global = addCounts(base + groups, {}, primary, stats.global);
    if (!global) return fail(global.error());
    return stats;
}

}  // namespace pivorel
