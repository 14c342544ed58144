#include "BrisendoKit/Storage/Store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unicode/calendar.h>
#include <unicode/timezone.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "BrisendoKit/Actions/ExtensionCatalog.h"
#include "BrisendoKit/Storage/HistoryWriter.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;
using K = ContentKind;

namespace {

std::unique_ptr<Store> openStore(const fs::path& path) {
    auto store = Store::open(path);
    EXPECT_TRUE(store.ok()) << (store.ok() ? "" : store.error().describe());
    return store.ok() ? std::move(store.value()) : nullptr;
}

// A second connection, as another program (or a hand edit) would make.
struct RawConnection {
    sqlite3* db = nullptr;
    explicit RawConnection(const fs::path& path) {
        sqlite3_open(path.c_str(), &db);
        sqlite3_busy_timeout(db, 3000);
        sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    }
    RawConnection(const RawConnection&) = delete;
    ~RawConnection() { sqlite3_close(db); }

    void exec(const std::string& sql) {
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
            << (message ? message : "") << " in " << sql;
        sqlite3_free(message);
    }
    // The first column of the first row.
    std::string text(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        std::string out = "<no row>";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const auto* bytes = sqlite3_column_text(statement, 0);
            out = bytes ? reinterpret_cast<const char*>(bytes) : "<null>";
        }
        sqlite3_finalize(statement);
        return out;
    }
};

SelectRequest request(std::string text, std::optional<std::string> app = std::nullopt,
                      bool dry = false) {
    SelectRequest r;
    r.text = std::move(text);
    r.app = std::move(app);
    r.dry = dry;
    return r;
}

std::unique_ptr<icu::Calendar> calendarIn(const char* zone) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(
        icu::TimeZone::createTimeZone(zone), icu::Locale::getRoot(), status));
    EXPECT_TRUE(U_SUCCESS(status));
    return calendar;
}

const TimePoint t0 = fromUnixSeconds(1'718'000'000.0);

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 01000;
}

void writeWithMode(const fs::path& path, const std::string& bytes, unsigned mode) {
    std::ofstream(path) << bytes;
    ::chmod(path.c_str(), mode);
}

struct StoreTest : ::testing::Test {
    test::TempDir dir;
    fs::path file = dir.path() / "h.sqlite";
    std::unique_ptr<Store> store = openStore(file);
};

}  // namespace

TEST_F(StoreTest, OpeningBadPathsGivesClearErrors) {
    EXPECT_FALSE(Store::open(dir.path() / "nowhere" / "h.sqlite").ok());

    const fs::path junk = dir.path() / "junk.sqlite";
    std::ofstream(junk) << std::string(4096, 'x');
    for (const auto& opened : {Store::open(junk), Store::openReadOnly(junk)}) {
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.error().describe(), "sql(file is not a database)");
    }
    // Reading never creates the file.
    auto absent = Store::openReadOnly(dir.path() / "absent.sqlite");
    ASSERT_FALSE(absent.ok());
    EXPECT_EQ(absent.error().kind, StoreError::Kind::open);
    EXPECT_FALSE(fs::exists(dir.path() / "absent.sqlite"));
}

TEST_F(StoreTest, RecordsRoundTripWithTheirEncodings) {
    SelectRequest full = request(std::string("line one\0after nul", 18), "org.gnome.Terminal");
    full.url = "https://example.com/a";
    full.source = "bar";
    full.editable = true;
    const std::vector<ActionID> ranking = {ActionID::copy(), ActionID::google(),
                                           ActionID("custom:a/b")};
    const auto id = store->insert(full, {{K::shortPhrase, K::chinese, K::dateTime}}, ranking, t0);
    ASSERT_TRUE(id.ok());
    RawConnection raw(file);
    EXPECT_EQ(raw.text("SELECT kinds || '|' || ranking FROM selections"),
              R"(dateTime,chinese,shortPhrase|["copy","google","custom:a\/b"])");
    ASSERT_TRUE(store->markChosen(*id, ActionID::copy(), 1).ok());
    EXPECT_TRUE(store->markChosen(*id + 100, ActionID::copy(), 1).ok());  // unknown id
    EXPECT_EQ(**store->record(*id), (SelectionRecord{*id,
                                                     t0,
                                                     full.text,
                                                     full.app,
                                                     full.url,
                                                     "bar",
                                                     false,
                                                     {K::dateTime, K::chinese, K::shortPhrase},
                                                     ranking,
                                                     ActionID::copy(),
                                                     1}));

    // No kinds, no ranking, no application; an identifier that is not UTF-8 drops the list.
    const auto bare = store->insert(request("", std::nullopt, true), {},
                                    {ActionID::copy(), ActionID("\xff")}, t0);
    EXPECT_EQ(raw.text("SELECT kinds || '|' || ranking FROM selections WHERE id = " +
                       std::to_string(*bare)),
              "|[]");
    EXPECT_EQ(**store->record(*bare),
              (SelectionRecord{*bare, t0, "", {}, {}, "popclip", true, {}, {}, {}, {}}));
    EXPECT_FALSE(store->record(*bare + 1)->has_value());

    EXPECT_EQ(*store->archiveCount(), 0);
    EXPECT_TRUE(store->archive(*id, "ask", "Q: 什么?\nA: 这个。", t0).ok());
    // Reopening (twice at once, even) keeps everything.
    auto again = openStore(file);
    EXPECT_EQ(**again->record(*id), **store->record(*id));
    EXPECT_EQ(*again->archiveCount(), 1);
}

TEST_F(StoreTest, MalformedStoredValuesReadWithoutError) {
    RawConnection(file).exec(
        "INSERT INTO selections (id, ts, text, app, source, kinds, ranking, chosen) VALUES "
        "(1, 5, 'a', NULL, 'x', 'english,,bogus,url,URL,', 'not json', NULL),"
        "(2, 5, CAST(X'61FF62' AS TEXT), CAST(X'FE' AS TEXT), 'x', ',', '[\"a\",1]', 'copy'),"
        "(3, 5, 'c', 'app', 'x', 'url', '[\"a\"] trailing', NULL),"
        "(4, 5, 'd', 'app', 'x', 'url', '[[\"nested\"]]', NULL),"
        "(5, 5, 'e', 'app', 'x', 'url', '[\"ok\",\"two\"]', NULL)");
    auto one = store->record(1);
    ASSERT_TRUE(one.ok());
    EXPECT_EQ((*one)->kinds, (std::vector<ContentKind>{K::english, K::url}));
    EXPECT_TRUE((*one)->ranking.empty());
    auto two = store->record(2);
    ASSERT_TRUE(two.ok());
    EXPECT_EQ((*two)->text, "a\uFFFDb");  // repaired, not dropped
    EXPECT_EQ((*two)->app, "\uFFFD");
    EXPECT_TRUE((*two)->kinds.empty() && (*two)->ranking.empty());
    EXPECT_TRUE((*store->record(3))->ranking.empty() && (*store->record(4))->ranking.empty());
    EXPECT_EQ((*store->record(5))->ranking,
              (std::vector<ActionID>{ActionID("ok"), ActionID("two")}));
}

TEST_F(StoreTest, TodayCountsTheCalendarDayOfNowInTheUsersZone) {
    auto shanghai = calendarIn("Asia/Shanghai");
    const double start = 1'717'948'800.0;  // 2024-06-10 00:00 in Shanghai
    const TimePoint now = fromUnixSeconds(start + 15 * 3600);
    EXPECT_EQ(*store->todayStats(now, *shanghai), (TodayStats{0, 0, 0}));
    EXPECT_EQ(store->todayStats(now, *shanghai)->hitRate(), std::nullopt);

    auto add = [&](double ts, std::optional<std::int64_t> rank, bool dry = false) {
        auto id = store->insert(request("t", "app", dry), {}, {}, fromUnixSeconds(ts));
        if (rank) store->markChosen(*id, ActionID::copy(), *rank);
    };
    add(start, 1);          // the first moment counts
    add(start + 86400, 1);  // the next day's does not
    add(start - 0.001, 1);  // nor the previous day's
    add(start + 3600, 1);
    add(start + 7200, 2);
    add(start + 7300, std::nullopt);
    add(start + 7400, 1, true);  // dry rows never count
    auto stats = store->todayStats(now, *shanghai);
    ASSERT_TRUE(stats.ok());
    EXPECT_EQ(*stats, (TodayStats{4, 3, 2}));
    EXPECT_DOUBLE_EQ(*stats->hitRate(), 2.0 / 3.0);
    // The counts kept up by the store's writes are what a fresh count finds; a choice
    // changed and another connection's row are seen.
    store->markChosen(1, ActionID::copy(), 3);
    RawConnection(store->path())
        .exec("INSERT INTO selections (ts, text) VALUES (" + std::to_string(start + 60) + ", 'x')");
    EXPECT_EQ(*store->todayStats(now, *shanghai), (TodayStats{5, 3, 1}));
    EXPECT_EQ(*(*Store::openReadOnly(store->path()))->todayStats(now, *shanghai),
              (TodayStats{5, 3, 1}));
    // Seen from UTC, only the row at the next Shanghai midnight falls on the same day.
    EXPECT_EQ(store->todayStats(now, *calendarIn("UTC"))->count, 1);

    // 2024-10-27 has 25 hours in Berlin: 00:00 is 22:00 UTC the day before.
    auto berlin = calendarIn("Europe/Berlin");
    const double berlinStart = 1'729'980'000.0;
    const double lateEvening = berlinStart + 24.5 * 3600;  // 23:30 local
    for (double ts : {berlinStart + 60, lateEvening, berlinStart + 25 * 3600}) add(ts, 1);
    EXPECT_EQ(store->todayStats(fromUnixSeconds(lateEvening), *berlin)->count, 2);
    EXPECT_EQ(store->todayStats(fromUnixSeconds(berlinStart + 25 * 3600 + 60), *berlin)->count, 1);
}

TEST_F(StoreTest, BarSummaryGroupsByApplication) {
    EXPECT_TRUE(store->barSummary()->empty());
    const std::optional<std::string> none;
    auto log = [&](const char* event, std::optional<std::string> app,
                   std::optional<std::string> reason, std::optional<std::int64_t> latency,
                   bool dry = false) { store->logBar(event, app, reason, latency, dry, t0); };
    log("shown", "firefox", none, 10), log("shown", "firefox", none, 21);
    log("shown", "firefox", none, std::nullopt), log("miss", "firefox", "no-selection", 400);
    log("miss", "code", "timeout", 900), log("miss", "code", "probe", 0);
    log("miss", none, "probe", 5), log("shown", none, none, 30);
    log("shown", "kitty", none, 7, true);  // dry: no row
    EXPECT_EQ(*store->barSummary(), *store->barSummaryFromLog());
    EXPECT_EQ(*store->barSummary(),
              (std::vector<BarAppSummary>{
                  {"code", 0, 2, std::nullopt}, {"firefox", 3, 1, 15.5}, {"(未知)", 1, 1, 30.0}}));
    EXPECT_EQ(store->barSummary()->at(0).popRate(), 0.0);
    EXPECT_EQ(store->barSummary()->at(1).popRate(), 0.75);
    EXPECT_EQ(BarAppSummary{}.popRate(), std::nullopt);
}

TEST_F(StoreTest, HistoryCountsChoicesOfTheSamePrimaryKind) {
    auto choose = [&](std::optional<std::string> app, ContentKindSet kinds, ActionID action,
                      bool dry = false) {
        auto id = store->insert(request("t", std::move(app), dry), ContentProfile{kinds}, {}, t0);
        store->markChosen(*id, action, 1);
    };
    const ContentKindSet phraseEn{K::english, K::shortPhrase}, phraseZh{K::chinese, K::shortPhrase};
    choose("firefox", phraseEn, ActionID::translate());
    choose("firefox", phraseZh, ActionID::translate());  // same primary: one entry
    choose("firefox", {K::url}, ActionID::openURL());
    choose("firefox", phraseEn, ActionID::google(), true);  // dry
    choose(std::nullopt, phraseEn, ActionID::google());
    choose("code", phraseEn, ActionID::copy());
    store->insert(request("unchosen", "firefox"), ContentProfile{phraseEn}, {}, t0);

    using Counts = std::map<ActionID, long long>;
    for (const auto& firefox : {store->history("firefox", K::shortPhrase),
                                store->historyFromSelections("firefox", K::shortPhrase)}) {
        ASSERT_TRUE(firefox.ok());
        EXPECT_EQ(firefox->contextual, (Counts{{ActionID::translate(), 2}}));
        EXPECT_EQ(
            firefox->global,
            (Counts{{ActionID::translate(), 2}, {ActionID::google(), 1}, {ActionID::copy(), 1}}));
    }
    auto unknownApp = store->history(std::nullopt, K::shortPhrase);
    EXPECT_EQ(unknownApp->contextual, (Counts{{ActionID::google(), 1}}));
    EXPECT_EQ(unknownApp->global.size(), 3u);
    EXPECT_EQ(store->history("nobody", K::sentence)->global.size(), 0u);
}

TEST_F(StoreTest, CountTablesAgreeWithTheBaseTablesUnderRandomEdits) {
    file = dir.path() / "old.sqlite";
    // Rows written before the count tables existed are counted when they are first built.
    RawConnection(file).exec(
        "CREATE TABLE selections (id INTEGER PRIMARY KEY AUTOINCREMENT, ts REAL NOT NULL, "
        "text TEXT NOT NULL, app TEXT, url TEXT, source TEXT NOT NULL DEFAULT 'popclip', dry "
        "INTEGER NOT NULL DEFAULT 0, kinds TEXT NOT NULL DEFAULT '', ranking TEXT NOT NULL "
        "DEFAULT '[]', chosen TEXT, chosen_rank INTEGER);"
        "INSERT INTO selections (ts, text, app, kinds, chosen) VALUES (1, 'a', 'code', 'url', "
        "'openURL'), (1, 'b', NULL, 'english,shortPhrase', 'google'), (1, 'c', '', ',url,', "
        "'copy')");
    const std::vector<std::optional<std::string>> apps = {std::nullopt, "", "code", "firefox"},
                                                  actions = {"copy", "google", "custom:x"},
                                                  barApps = {std::nullopt, "(未知)", "code"};
    const std::vector<std::string> events = {"shown", "miss", "other"},
                                   oddKinds = {
                                       "url,,bogus", "english,url",       ",",
                                       "URL",        "todoLike,todoLike", "sentence,longParagraph"};
    std::mt19937 random(20240611);
    auto pick = [&](const auto& list) { return list[random() % std::size(list)]; };
    auto sql = [](const std::optional<std::string>& s) { return s ? "'" + *s + "'" : "NULL"; };
    auto bit = [&] { return std::to_string(random() % 2); };
    store = openStore(file);
    RawConnection raw(file);
    std::int64_t lastID = 3, barEvents = 1;
    auto compare = [&] {
        for (const auto& app : apps)
            for (ContentKind primary : allContentKinds)
                ASSERT_EQ(*store->history(app, primary),
                          *store->historyFromSelections(app, primary))
                    << app.value_or("<none>") << " " << toString(primary);
        ASSERT_EQ(*store->barSummary(), *store->barSummaryFromLog());
        // Counts that drop to zero must go, or they linger as empty rows.
        for (const char* table : {"choice_counts", "choice_counts_by_app"})
            ASSERT_EQ(raw.text(std::string("SELECT COUNT(*) FROM ") + table + " WHERE n <= 0"),
                      "0");
    };
    compare();
    for (int step = 0; step < 1200; ++step) {
        const int op = random() % 14;
        const std::string row = std::to_string(1 + random() % lastID);
        const std::string barRow = std::to_string(1 + random() % barEvents);
        if (op < 4) {
            ContentProfile profile;
            for (ContentKind kind : allContentKinds)
                if (random() % 3 == 0) profile.kinds.insert(kind);
            lastID = *store->insert(request("t", pick(apps), random() % 10 == 0), profile, {}, t0);
        } else if (op < 7) {
            store->markChosen(std::stoll(row) + random() % 2, ActionID(*pick(actions)), 1);
        } else if (op == 7) {
            raw.exec("INSERT INTO selections (ts, text, app, dry, kinds, chosen) VALUES (1, 'r', " +
                     sql(pick(apps)) + ", " + bit() + ", '" + pick(oddKinds) + "', " +
                     sql(pick(actions)) + ")");
            lastID += 1;
        } else if (op == 8) {
            // One column at a time, so each column's own trigger path is taken.
            const std::string change[] = {"app = " + sql(pick(apps)),
                                          "kinds = '" + pick(oddKinds) + "'", "dry = " + bit(),
                                          "chosen = " + sql(pick(actions)), "text = 'edited'"};
            raw.exec("UPDATE selections SET " + pick(change) + " WHERE id = " + row);
        } else if (op == 9) {
            raw.exec(random() % 2 ? "DELETE FROM selections WHERE id = " + row
                                  : "UPDATE selections SET chosen = NULL WHERE id = " + row);
        } else if (op < 12) {
            store->logBar(pick(events), pick(barApps), std::nullopt,
                          random() % 4 ? std::optional<std::int64_t>(random() % 900) : std::nullopt,
                          random() % 5 == 0, t0);
            ++barEvents;
        } else {
            const std::string change[] = {"app = " + sql(pick(barApps)),
                                          "event = '" + pick(events) + "'",
                                          "latency_ms = " + std::to_string(random() % 900),
                                          "latency_ms = NULL", "dry = " + bit()};
            raw.exec(op == 12 ? "UPDATE bar_log SET " + pick(change) + " WHERE id = " + barRow
                              : "DELETE FROM bar_log WHERE id = " + barRow);
        }
        if (step % 100 == 99) compare();
    }
    // Without a trigger the tables cannot be trusted: the next opening rebuilds them.
    raw.exec(
        "DROP TRIGGER choice_counts_on_delete; UPDATE choice_counts SET n = n + 7; "
        "UPDATE bar_counts SET shown = shown + 7");
    store = openStore(file);
    compare();
}

TEST_F(StoreTest, ReadOnlyStoreReadsAndRefusesWrites) {
    auto id = store->insert(request("x", "code"), {{K::url}}, {}, t0);
    store->markChosen(*id, ActionID::openURL(), 1);
    store.reset();
    auto reader = Store::openReadOnly(file);
    ASSERT_TRUE(reader.ok());
    EXPECT_EQ((*reader)->history("code", K::url)->contextual.at(ActionID::openURL()), 1);
    auto write = (*reader)->insert(request("y"), {}, {}, t0);
    ASSERT_FALSE(write.ok());
    EXPECT_EQ(write.error().kind, StoreError::Kind::sql);

    // A database written elsewhere, without count tables, is counted from its selections.
    RawConnection(file).exec("DROP TABLE choice_counts");
    auto plain = Store::openReadOnly(file);
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ((*plain)->history("code", K::url)->global.at(ActionID::openURL()), 1);
}

TEST_F(StoreTest, TwoThreadsShareOneStore) {
    std::atomic<int> failures{0};
    auto work = [&](int t) {
        for (int i = 0; i < 300; ++i) {
            const std::string text = std::to_string(t) + "-" + std::to_string(i);
            auto id = store->insert(request(text, "app"), {}, {}, t0);
            if (!id.ok()) {
                ++failures;
                continue;
            }
            auto r = store->record(*id);
            const bool ok = store->markChosen(*id, ActionID::copy(), 1).ok() &&
                            store->logBar("shown", "app", std::nullopt, 3, false, t0).ok() &&
                            r.ok() && r->has_value() && (*r)->text == text &&
                            store->barSummary().ok();
            failures += ok ? 0 : 1;
        }
    };
    std::thread other(work, 1);
    work(0);
    other.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(store->todayStats(t0, *calendarIn("UTC"))->count, 600);
    EXPECT_EQ(store->barSummary()->at(0).shown, 600);
}

TEST(PrivateFiles, WhatTheProgramWritesOnlyTheUserReads) {
    pivorel::test::TempDir dir;
    const fs::path nested = dir.path() / "new" / "deeper";
    ASSERT_TRUE(fileio::writeFileAtomically(nested / "settings.json", "{}"));
    ASSERT_TRUE(fileio::writeFileAtomically(nested / "app.desktop", "[Desktop Entry]\n",
                                            fileio::Access::everyone));
    auto store = Store::open(nested / "history.sqlite");
    ASSERT_TRUE(store.ok());
    ASSERT_TRUE((*store)->insert(request("secret"), {}, {}, t0).ok());

    for (const auto& [path, mode] :
         std::vector<std::pair<fs::path, unsigned>>{{dir.path() / "new", 0700},
                                                    {nested, 0700},
                                                    {nested / "settings.json", 0600},
                                                    {nested / "app.desktop", 0644},
                                                    {nested / "history.sqlite", 0600},
                                                    {nested / "history.sqlite-wal", 0600}}) {
        EXPECT_EQ(modeOf(path), mode) << path;
    }
}

TEST(PrivateFiles, FilesOfOlderVersionsAreTightened) {
    pivorel::test::TempDir dir;
    const fs::path data = dir.path() / "Pivorel";
    fs::create_directories(data / "Reminders");
    ::chmod(data.c_str(), 0755);
    writeWithMode(data / "pivorel.sqlite", "", 0644);
    writeWithMode(data / "Reminders" / "a.ics", "BEGIN", 0664);
    writeWithMode(dir.path() / "elsewhere", "", 0644);
    fs::create_symlink(dir.path() / "elsewhere", data / "link");

    fileio::makePrivate(data);
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(modeOf(data / "pivorel.sqlite"), 0600u);
    EXPECT_EQ(modeOf(data / "Reminders"), 0700u);
    EXPECT_EQ(modeOf(data / "Reminders" / "a.ics"), 0600u);
    // A link is not followed out of the folder.
    EXPECT_EQ(modeOf(dir.path() / "elsewhere"), 0644u);
}

TEST(HistoryAtStart, ADamagedFileIsKeptAsideAndAFreshHistoryStarts) {
    // Not a database at all (its journal goes with it), and a database whose pages are
    // garbage (SQLite itself drops a journal that does not match).
    for (const std::string& damaged :
         {std::string(4096, 'x'), std::string("SQLite format 3\0", 16) + std::string(8192, 'x')}) {
        pivorel::test::TempDir dir;
        const fs::path path = dir.path() / "pivorel.sqlite";
        std::ofstream(path) << damaged;
        std::ofstream(path.string() + "-wal") << "wal";

        auto opening = Store::openForProgram(path, fromUnixSeconds(1'717'948'800));
        ASSERT_TRUE(opening.store);
        EXPECT_FALSE(opening.unusable);
        const fs::path aside = dir.path() / "pivorel.sqlite.corrupt-1717948800";
        ASSERT_EQ(opening.movedAside, aside);
        EXPECT_EQ(pivorel::test::readText(aside), damaged);
        if (damaged.front() == 'x') {
            EXPECT_EQ(pivorel::test::readText(aside.string() + "-wal"), "wal");
        }
        EXPECT_TRUE(opening.store->insert(request("a"), {}, {}, t0).ok());
        EXPECT_EQ(opening.store->path(), path);
    }
}

TEST(HistoryAtStart, AHistoryThatCannotBeOpenedLivesInMemory) {
    pivorel::test::TempDir dir;
    // Stands for a folder it may not write, which root (running the suite) could.
    fs::create_directories(dir.path() / "pivorel.sqlite");
    auto opening = Store::openForProgram(dir.path() / "pivorel.sqlite", t0);
    ASSERT_TRUE(opening.store);
    ASSERT_TRUE(opening.unusable);
    EXPECT_FALSE(opening.movedAside);
    EXPECT_TRUE(opening.store->insert(request("a"), {}, {}, t0).ok());
}

TEST(BoundedReaders, DeepOrHugeDocumentsAreRefusedNotBuilt) {
    pivorel::test::TempDir dir;
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(ExtensionCatalog::decode(R"({"version":1,"items":)" + deep + "}"));

    // A settings file nobody could have written is kept aside like any unreadable one.
    const fs::path settings = dir.path() / "settings.json";
    std::ofstream(settings) << "{\"a\":" << deep << "}";
    UserDefaults defaults(settings);
    EXPECT_FALSE(defaults.contains("a"));
    EXPECT_FALSE(fs::exists(settings));
    std::ofstream(settings) << "{\"a\":\"" << std::string(UserDefaults::maxFileBytes, 'x') << "\"}";
    EXPECT_FALSE(UserDefaults(settings).contains("a"));
}

namespace {

struct HistoryWriterTest : ::testing::Test {
    pivorel::test::TempDir dir;
    fs::path path = dir.path() / "pivorel.sqlite";
    std::unique_ptr<Store> store = openStore(path);
    pivorel::test::VirtualClock clock;
    pivorel::test::ManualMainQueue queue{clock};
    LogCapture log;

    // What a row's waiter hears, once the main queue has run: "stored" or the error.
    static HistoryWriter::Written into(std::string& heard) {
        return [&heard](const std::optional<StoreError>& error) {
            heard = error ? error->message : "stored";
        };
    }
    bool logged(std::string_view fragment) {
        for (int i = 0; i < 500 && !log.contains(fragment); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return log.contains(fragment);
    }
    std::string texts() {
        return RawConnection(path).text(
            "SELECT group_concat(id || ':' || text, ' ') FROM "
            "(SELECT id, text FROM selections ORDER BY id)");
    }
};

// A small file system of its own, so that filling it never touches the real disk.
struct SmallDisk {
    fs::path at;
    bool mounted = false;
    explicit SmallDisk(fs::path where) : at(std::move(where)) {
        fs::create_directories(at);
        const std::string command =
            "mount -t tmpfs -o size=1m tmpfs " + at.string() + " 2>/dev/null";
        mounted = ::geteuid() == 0 && std::system(command.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted) (void)std::system(("umount " + at.string()).c_str());
    }
};

}  // namespace

TEST_F(HistoryWriterTest, RowsLandInOrderWithTheIdsHandedOut) {
    ASSERT_TRUE(store->insert(request("gone"), {}, {}, t0).ok());
    RawConnection(path).exec("DELETE FROM selections");  // its id is not handed out again
    HistoryWriter writer(*store, queue);
    int announced = 0;
    const auto watch = writer.rowsWritten.connect([&] { ++announced; });
    std::string heard;
    const auto a = writer.insert(request("a"), {}, {ActionID::copy()}, t0);
    const auto b = writer.insert(request("b"), {}, {}, t0, into(heard));
    writer.markChosen(a, ActionID::copy(), 1);
    writer.archive(b, "ask", "transcript", t0);
    writer.logBar("shown", "app", std::nullopt, 12, false, t0);
    ASSERT_TRUE(writer.flush());
    queue.runReady();
    EXPECT_EQ(heard, "stored");
    EXPECT_EQ(announced, 1);  // once per turn of the main queue, not per row
    EXPECT_EQ(texts(), "2:a 3:b");
    EXPECT_EQ(store->record(a).value()->chosen, ActionID::copy());
    EXPECT_EQ(RawConnection(path).text("SELECT selection_id FROM archives"), "3");
    EXPECT_EQ(RawConnection(path).text("SELECT count(*) FROM bar_log"), "1");
}

TEST_F(HistoryWriterTest, ABusyHistoryKeepsRowsDropsTheOldestPastTheBoundAndAnswersWaiters) {
    HistoryWriter writer(*store, queue, {.maxQueued = 3, .firstRetrySeconds = 0.3});
    RawConnection other(path);
    other.exec("BEGIN IMMEDIATE");
    writer.insert(request("first"), {}, {}, t0);
    ASSERT_TRUE(logged("历史记录暂时写不进去 (sql(database is locked))"));
    // Somebody waiting hears at once, and the row is not kept.
    std::string heard;
    writer.logBar("miss", std::nullopt, "probe", std::nullopt, true, t0, into(heard));
    queue.runReady();
    EXPECT_EQ(heard, "database is locked");
    for (const char* text : {"b", "c", "d", "e"}) writer.insert(request(text), {}, {}, t0);
    EXPECT_EQ(writer.dropped(), 2);
    EXPECT_TRUE(log.contains("历史记录队列已满 (3 条)"));

    other.exec("COMMIT");
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(texts(), "3:c 4:d 5:e");
    EXPECT_EQ(RawConnection(path).text("SELECT count(*) FROM bar_log"), "0");
    EXPECT_TRUE(log.contains("历史记录恢复写入，期间丢弃 2 条"));
}

TEST_F(HistoryWriterTest, OnAFullDiskRowsWaitForSpaceAndNoneIsLost) {
    SmallDisk disk(dir.path() / "disk");
    if (!disk.mounted) GTEST_SKIP() << "mounting a small file system needs root";
    path = disk.at / "pivorel.sqlite";
    const auto onDisk = openStore(path);
    const fs::path filler = disk.at / "filler";
    {
        std::ofstream out(filler, std::ios::binary);
        const std::string block(64 * 1024, 'x');
        while (out.write(block.data(), block.size()) && out.flush()) {
        }
    }
    HistoryWriter writer(*onDisk, queue, {.firstRetrySeconds = 0.02, .maxRetrySeconds = 0.1});
    for (int i = 0; i < 50; ++i) writer.insert(request(std::string(2000, 'a')), {}, {}, t0);
    ASSERT_TRUE(logged("历史记录暂时写不进去"));
    EXPECT_GT(writer.queued(), 0u);
    fs::remove(filler);
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(RawConnection(path).text("SELECT count(*) FROM selections"), "50");
    EXPECT_EQ(writer.dropped(), 0);
}

TEST_F(HistoryWriterTest, AHistoryLockedAtStartIsOpenedOnceFree) {
    ASSERT_TRUE(store->insert(request("old"), {}, {}, t0).ok());
    store.reset();
    auto other = std::make_unique<RawConnection>(path);
    other->exec("PRAGMA locking_mode=EXCLUSIVE");
    other->exec("BEGIN EXCLUSIVE");

    auto opening = Store::openForProgram(path, t0);
    ASSERT_TRUE(opening.store && opening.locked);
    HistoryWriter writer(*opening.store, queue, {.firstRetrySeconds = 0.05});
    writer.openWhenFree(path);
    const auto id = writer.insert(request("new"), {}, {}, t0);
    writer.markChosen(id, ActionID::copy(), 1);
    EXPECT_FALSE(writer.flush(std::chrono::milliseconds(300)));
    other.reset();
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(opening.store->path(), path);
    EXPECT_EQ(texts(), "1:old 2:new");
    EXPECT_EQ(RawConnection(path).text("SELECT chosen FROM selections WHERE id = 2"), "copy");
}
