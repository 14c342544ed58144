#include "Pivorel/Tools/Explain.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "BrisendoKit/Actions/ActionAvailability.h"
#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/Content/ContentClassifier.h"
#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Content/HistoryStats.h"
#include "BrisendoKit/Content/Ranker.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Calendar.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Result.h"
#include "BrisendoKit/Support/Text.h"
#include "Pivorel/Linux/LinuxDesktopTargets.h"

namespace pivorel {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr const char* kUsage =
    "usage: pivorel --explain --text TEXT [--app ID] [--editable] [--now ISO-8601-TIME]\n"
    "                         [--config PATH] [--db PATH | --no-history]\n"
    "  --text TEXT     the selected text\n"
    "  --app ID        the application it was selected in (desktop-file id)\n"
    "  --editable      the selection sits in an editable field\n"
    "  --now TIME      the current time with its UTC offset, e.g. 2024-05-01T09:30:00+08:00\n"
    "  --config PATH   an actions.json to use instead of the user's\n"
    "  --db PATH       a history database to read instead of the user's\n"
    "  --no-history    rank without history\n";

struct Options {
    std::optional<std::string> text;
    std::optional<std::string> app;
    bool editable = false;
    std::optional<TimePoint> now;
    std::optional<fs::path> config;
    std::optional<fs::path> db;
    bool noHistory = false;
    bool help = false;
};

Result<Options, std::string> parseArgs(const std::vector<std::string>& args) {
    Options options;
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        const bool takesValue = arg == "--text" || arg == "--app" || arg == "--now" ||
                                arg == "--config" || arg == "--db";
        if (!takesValue && arg != "--editable" && arg != "--no-history") {
            return fail((arg.rfind("-", 0) == 0 ? "unknown option: " : "unexpected argument: ") +
                        text::repairUtf8(arg));
        }
        if (std::find(seen.begin(), seen.end(), arg) != seen.end()) {
            return fail(arg + " given twice");
        }
        seen.push_back(arg);
        if (!takesValue) {
            (arg == "--editable" ? options.editable : options.noHistory) = true;
            continue;
        }
        if (i + 1 >= args.size()) return fail(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--text") {
            options.text = text::repairUtf8(value);
        } else if (arg == "--app") {
            options.app = text::repairUtf8(value);
        } else if (arg == "--now") {
            options.now = parseTimestampWithOffset(value);
            if (!options.now) {
                return fail("--now needs an ISO 8601 time with a UTC offset, not: " +
                            text::repairUtf8(value));
            }
        } else if (value.empty()) {
            return fail(arg + " needs a path");
        } else if (arg == "--config") {
            options.config = fs::path(value);
        } else {
            options.db = fs::path(value);
        }
    }
    if (options.help) return options;
    if (!options.text) return fail(std::string("--text is required"));
    if (options.db && options.noHistory) {
        return fail(std::string("--db and --no-history exclude each other"));
    }
    return options;
}

// The configuration the bar would use. Unlike the application, a file that does not decode
// is left where it is: explaining must not change the user's files.
Result<ActionConfig, std::string> loadConfig(const Options& options) {
    if (options.config) {
        const auto bytes = fileio::readFile(*options.config);
        if (!bytes) return fail("cannot read " + options.config->string());
        auto config = ActionConfigStore::decode(*bytes);
        if (!config) return fail(options.config->string() + " is not an actions file");
        return config->normalized();
    }
    const fs::path path = ActionConfigStore::defaultURL();
    const auto bytes = fileio::readFile(path);
    if (!bytes) return ActionConfig::defaultConfig().normalized();
    auto config = ActionConfigStore::decode(*bytes);
    if (!config) {
        std::cerr << "pivorel --explain: " << path.string()
                  << " does not decode; using the default actions\n";
        return ActionConfig::defaultConfig().normalized();
    }
    return config->normalized();
}

// Earlier choices from the history database, opened read-only. No database is no history;
// one that cannot be read is reported and treated the same, as the bar would.
HistoryStats loadHistory(const Options& options, const ContentProfile& profile) {
    if (options.noHistory) return HistoryStats::empty();
    const fs::path path = options.db ? *options.db : Store::defaultPath();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return HistoryStats::empty();
    auto store = Store::openReadOnly(path);
    if (!store) {
        std::cerr << "pivorel --explain: no history from " << path.string() << ": "
                  << store.error().describe() << "\n";
        return HistoryStats::empty();
    }
    auto history = (*store)->history(options.app, profile.primary());
    if (!history) {
        std::cerr << "pivorel --explain: no history from " << path.string() << ": "
                  << history.error().describe() << "\n";
        return HistoryStats::empty();
    }
    return *history;
}

// The due date a reminder made from the text would get: an object of "year", "month",
// "day", and "hour" and "minute" when the text names a time; null when it names no date.
// Read against `now` in the process's time zone (TZ).
Json dueDate(const std::string& trimmedText, TimePoint now) {
    const auto calendar = currentCalendar();
    if (!calendar) return nullptr;
    const auto due = DateExtractor::extract(trimmedText, now, *calendar);
    if (!due) return nullptr;
    Json out = Json::object();
    out["year"] = due->year;
    out["month"] = due->month;
    out["day"] = due->day;
    if (due->hour) {
        out["hour"] = *due->hour;
        out["minute"] = due->minute.value_or(0);
    }
    return out;
}

Json explain(const Options& options, const ActionConfig& config) {
    const std::string& text = *options.text;
    const ContentProfile profile = ContentClassifier::classify(text);
    const HistoryStats history = loadHistory(options, profile);
    const auto ranked = Ranker::rank(profile, options.app, history, config, options.editable);

    Json kinds = Json::array();
    for (ContentKind kind : profile.kinds) kinds.push_back(std::string(toString(kind)));
    Json ranking = Json::array();
    std::vector<ActionID> ids;
    for (const RankedAction& entry : ranked) {
        ranking.push_back(Json{{"action", entry.action.rawValue}, {"score", entry.score}});
        ids.push_back(entry.action);
    }
    // The bar skips what this desktop lacks, as the program's does.
    ActionAvailability availability;
    availability.setUnavailable(ActionAvailability::missing(LinuxDesktopTargets().presence()));
    Json unavailable = Json::array();
    for (const ActionID& id : availability.unavailable()) unavailable.push_back(id.rawValue);
    const auto barOrder = Ranker::barOrder(availability.available(std::move(ids)), config.barCount,
                                           config.smartRanking);
    const auto barSize = static_cast<std::size_t>(
        std::clamp<std::int64_t>(config.barCount, ActionConfig::barCountRange.lowerBound,
                                 ActionConfig::barCountRange.upperBound));
    Json orderJson = Json::array();
    Json bar = Json::array();
    for (std::size_t i = 0; i < barOrder.size(); ++i) {
        orderJson.push_back(barOrder[i].rawValue);
        if (i < barSize) bar.push_back(barOrder[i].rawValue);
    }

    Json out = Json::object();
    out["text"] = text;
    out["kinds"] = std::move(kinds);
    out["primary"] = std::string(toString(profile.primary()));
    out["ranking"] = std::move(ranking);
    out["unavailable"] = std::move(unavailable);
    out["barOrder"] = std::move(orderJson);
    out["bar"] = std::move(bar);
    out["due"] = dueDate(text::trim(text), options.now.value_or(std::chrono::system_clock::now()));
    return out;
}

int usageError(const std::string& message) {
    std::cerr << "pivorel --explain: " << message << "\n" << kUsage;
    return 2;
}

// Reads exactly `count` decimal digits at `i`.
std::optional<int> digits(std::string_view s, std::size_t& i, std::size_t count) {
    if (i + count > s.size()) return std::nullopt;
    int value = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const char c = s[i + k];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    i += count;
    return value;
}

bool expect(std::string_view s, std::size_t& i, char c) {
    if (i >= s.size() || s[i] != c) return false;
    ++i;
    return true;
}

}  // namespace

std::optional<TimePoint> parseTimestampWithOffset(std::string_view s) {
    using namespace std::chrono;
    std::size_t i = 0;
    const auto y = digits(s, i, 4);
    if (!y || !expect(s, i, '-')) return std::nullopt;
    const auto mo = digits(s, i, 2);
    if (!mo || !expect(s, i, '-')) return std::nullopt;
    const auto d = digits(s, i, 2);
    if (!d || !expect(s, i, 'T')) return std::nullopt;
    const auto h = digits(s, i, 2);
    if (!h || !expect(s, i, ':')) return std::nullopt;
    const auto mi = digits(s, i, 2);
    if (!mi) return std::nullopt;
    int sec = 0;
    nanoseconds fraction{0};
    if (i < s.size() && s[i] == ':') {
        ++i;
        const auto parsed = digits(s, i, 2);
        if (!parsed) return std::nullopt;
        sec = *parsed;
        if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
            ++i;
            std::size_t count = 0;
            long long scale = 100'000'000;
            for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++count) {
                if (count >= 9) return std::nullopt;
                fraction += nanoseconds((s[i] - '0') * scale);
                scale /= 10;
            }
            if (count == 0) return std::nullopt;
        }
    }

    int offsetMinutes = 0;
    if (i >= s.size()) return std::nullopt;  // an offset is required
    if (s[i] == 'Z') {
        ++i;
    } else if (s[i] == '+' || s[i] == '-') {
        const int sign = s[i] == '-' ? -1 : 1;
        ++i;
        const auto oh = digits(s, i, 2);
        if (!oh) return std::nullopt;
        int om = 0;
        if (i < s.size()) {
            const bool colon = s[i] == ':';
            if (colon) ++i;
            const auto parsed = digits(s, i, 2);
            if (!parsed) return std::nullopt;
            om = *parsed;
        }
        if (*oh > 23 || om > 59) return std::nullopt;
        offsetMinutes = sign * (*oh * 60 + om);
    } else {
        return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;

    const year_month_day date{year(*y), month(static_cast<unsigned>(*mo)),
                              day(static_cast<unsigned>(*d))};
    if (!date.ok() || *h > 23 || *mi > 59 || sec > 59) return std::nullopt;
    // Whole seconds first: a four-digit year can lie outside what the clock's nanosecond
    // time points hold, and such a time is refused rather than wrapped.
    const sys_seconds whole =
        sys_days(date) + hours(*h) + minutes(*mi) + seconds(sec) - minutes(offsetMinutes);
    const auto lowest = floor<seconds>(system_clock::time_point::min()) + seconds(1);
    const auto highest = floor<seconds>(system_clock::time_point::max()) - seconds(1);
    if (whole < lowest || whole > highest) return std::nullopt;
    return time_point_cast<system_clock::duration>(whole) +
           duration_cast<system_clock::duration>(fraction);
}

int runExplain(const std::vector<std::string>& args) {
    const auto options = parseArgs(args);
    if (!options) return usageError(options.error());
    if (options->help) {
        std::cout << kUsage;
        return 0;
    }
    const auto config = loadConfig(*options);
    if (!config) return usageError(config.error());
    std::cout << explain(*options, *config).dump(2, ' ', false, Json::error_handler_t::replace)
              << "\n";
    return 0;
}

}  // namespace pivorel
