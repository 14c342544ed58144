#include "Pivorel/Linux/VdirReminders.h"

#include <gtest/gtest.h>
#include <libical/ical.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Content/ReminderCreator.h"
#include "BrisendoKit/Content/ReminderDraft.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Text.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

std::shared_ptr<icu::Calendar> calendarIn(const char* zone) {
    UErrorCode status = U_ZERO_ERROR;
    return std::make_shared<icu::GregorianCalendar>(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)), status);
}

TimePoint utc(int y, unsigned mo, unsigned d, int h, int mi) {
    return sys_days(year(y) / mo / d) + hours(h) + minutes(mi);
}

std::vector<fs::path> icsFiles(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".ics") out.push_back(entry.path());
    }
    return out;
}

using Component = std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)>;

// The calendar, its parser's complaints (X-LIC-ERROR) counted, and its to-do.
struct Parsed {
    Component calendar;
    int errors;
    icalcomponent* todo;
};

Parsed parse(const std::string& ics) {
    Component c(icalparser_parse_string(ics.c_str()), &icalcomponent_free);
    const int errors = c ? icalcomponent_count_errors(c.get()) : -1;
    icalcomponent* todo =
        c ? icalcomponent_get_first_component(c.get(), ICAL_VTODO_COMPONENT) : nullptr;
    return {std::move(c), errors, todo};
}

std::string findTodoman() {
    for (const char* name : {"todo", "todoman"}) {
        const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) return name;
    }
    return {};
}

class VdirRemindersTest : public ::testing::Test {
  protected:
    fs::path collection() const { return dir_.path() / "Reminders"; }

    ReminderCreator::Outcome add(std::string_view text, TimePoint now,
                                 const icu::Calendar& calendar,
                                 std::optional<fs::path> where = std::nullopt) {
        const fs::path target = where.value_or(collection());
        ReminderCreator creator(
            queue_, [target] { return std::make_unique<VdirReminders>(target); }, nullptr);
        return creator.addNow(
            ReminderDraftBuilder::make(text, std::nullopt, std::nullopt, now, calendar));
    }

    // todoman's view of the collection, listed in `zone` as JSON.
    std::optional<std::string> todoman(const std::string& binary, const char* zone) const {
        const fs::path config = dir_.path() / "todoman.py";
        std::ofstream(config) << "path = \"" << dir_.path().string() << "/*\"\n"
                              << "date_format = \"%Y-%m-%d\"\n"
                              << "time_format = \"%H:%M\"\n"
                              << "default_list = \"Reminders\"\n"
                              << "cache_path = \"" << (dir_.path() / "cache.sqlite3").string()
                              << "\"\n";
        const auto r =
            test::runShell("HOME='" + dir_.path().string() + "' TZ=" + zone + " " + binary +
                           " --config '" + config.string() + "' --color never --porcelain list");
        if (r.status != 0) return std::nullopt;
        return r.out;
    }

    test::TempDir dir_;
    test::VirtualClock clock_;
    test::ManualMainQueue queue_{clock_};
};

}  // namespace

TEST_F(VdirRemindersTest, TodomanListsTheReminderWithItsDueTime) {
    const std::string binary = findTodoman();
    if (binary.empty()) GTEST_SKIP() << "todoman is not installed (Debian package todoman)";

    const auto shanghai = calendarIn("Asia/Shanghai");
    const TimePoint now = system_clock::now();
    ASSERT_TRUE(add("明天下午3点开会", now, *shanghai).ok());
    // Tomorrow 15:00 in Shanghai, as the extractor reads it.
    const auto due = DateExtractor::extract("明天下午3点", now, *shanghai);
    ASSERT_TRUE(due && due->hour == 15);
    const auto porcelain = todoman(binary, "Asia/Shanghai");
    ASSERT_TRUE(porcelain);
    const auto tasks = nlohmann::json::parse(*porcelain, nullptr, false);
    ASSERT_TRUE(tasks.is_array() && tasks.size() == 1u) << *porcelain;
    EXPECT_EQ(tasks[0]["summary"], "明天下午3点开会");
    EXPECT_EQ(tasks[0]["due"], duration_cast<seconds>(due->instant()->time_since_epoch()).count());
}

TEST_F(VdirRemindersTest, FileCarriesTheZoneAndAnAlarmAtTheDueInstant) {
    const auto berlin = calendarIn("Europe/Berlin");
    // Saturday 30 March 2024 in Berlin; the clocks go forward the next night.
    ASSERT_TRUE(add("明天晚上8点 吃饭", utc(2024, 3, 30, 9, 0), *berlin).ok());
    const auto files = icsFiles(collection());
    ASSERT_EQ(files.size(), 1u);
    const auto ics = fileio::readFile(files[0]);
    ASSERT_TRUE(ics);

    const auto [calendar, errors, todo] = parse(*ics);
    ASSERT_TRUE(todo);
    EXPECT_EQ(errors, 0) << *ics;
    icalcomponent* zone =
        icalcomponent_get_first_component(calendar.get(), ICAL_VTIMEZONE_COMPONENT);
    ASSERT_TRUE(zone);
    EXPECT_STREQ(icalproperty_get_tzid(icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY)),
                 "Europe/Berlin");
    EXPECT_EQ(std::string(icalcomponent_get_uid(todo)), files[0].stem().string());

    icalcomponent* alarm = icalcomponent_get_first_component(todo, ICAL_VALARM_COMPONENT);
    ASSERT_TRUE(alarm);
    EXPECT_EQ(
        icalproperty_get_action(icalcomponent_get_first_property(alarm, ICAL_ACTION_PROPERTY)),
        ICAL_ACTION_DISPLAY);
    const icaltriggertype trigger =
        icalproperty_get_trigger(icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY));
    ASSERT_FALSE(icaltime_is_null_time(trigger.time));
    EXPECT_TRUE(icaltime_is_utc(trigger.time));
    // 20:00 summer time in Berlin is 18:00 UTC.
    EXPECT_EQ(icaltime_as_timet(trigger.time),
              duration_cast<seconds>(utc(2024, 3, 31, 18, 0).time_since_epoch()).count());
}

TEST_F(VdirRemindersTest, DatesAloneAndUnknownZones) {
    NewReminder dated{"周报", std::nullopt, std::nullopt, std::nullopt};
    dated.due = DateComponents{2024, 5, 10, std::nullopt, std::nullopt, calendarIn("Asia/Tokyo")};
    auto parsed = parse(VdirReminders::render(dated, "u1", utc(2024, 5, 1, 0, 0)));
    ASSERT_TRUE(parsed.todo);
    icaltimetype due = icalcomponent_get_due(parsed.todo);
    EXPECT_TRUE(due.is_date);
    EXPECT_EQ((std::vector<int>{due.year, due.month, due.day}), (std::vector<int>{2024, 5, 10}));
    EXPECT_FALSE(icalcomponent_get_first_component(parsed.todo, ICAL_VALARM_COMPONENT));
    EXPECT_FALSE(
        icalcomponent_get_first_component(parsed.calendar.get(), ICAL_VTIMEZONE_COMPONENT));

    // A zone the library has no definition for is written as the same instant in UTC.
    NewReminder timed = dated;
    timed.due = DateComponents{2024, 5, 10, 9, 30, calendarIn("GMT+05:00")};
    timed.alarm = timed.due->instant();
    parsed = parse(VdirReminders::render(timed, "u2", utc(2024, 5, 1, 0, 0)));
    ASSERT_TRUE(parsed.todo);
    due = icalcomponent_get_due(parsed.todo);
    EXPECT_TRUE(icaltime_is_utc(due));
    EXPECT_EQ((std::vector<int>{due.day, due.hour, due.minute}), (std::vector<int>{10, 4, 30}));

    // A due date no iCalendar year can hold is left out rather than written wrong.
    timed.due->year = 12000;
    timed.alarm.reset();
    parsed = parse(VdirReminders::render(timed, "u3", utc(2024, 5, 1, 0, 0)));
    ASSERT_TRUE(parsed.todo);
    EXPECT_FALSE(icalcomponent_get_first_property(parsed.todo, ICAL_DUE_PROPERTY));
}

TEST_F(VdirRemindersTest, HostileTextStillMakesAValidFile) {
    std::string hostile = "a,b;c\\d\r\ne\rf";
    for (int c = 0; c < 0x20; ++c) hostile += static_cast<char>(c);
    hostile += "\x7f\xff\xc3(";
    for (int i = 0; i < 5000; ++i) hostile += "长文本,";  // 20000 characters more
    const NewReminder reminder{hostile, hostile, std::nullopt, std::nullopt};
    const std::string ics = VdirReminders::render(reminder, "u\n1", utc(2024, 5, 1, 0, 0));
    EXPECT_TRUE(text::isValidUtf8(ics));
    const auto control = std::find_if(ics.begin(), ics.end(), [](unsigned char c) {
        return c < 0x20 && c != '\r' && c != '\n' && c != '\t';
    });
    EXPECT_EQ(control, ics.end()) << "control character " << int(*control);
    const auto [calendar, errors, todo] = parse(ics);
    ASSERT_TRUE(todo);
    EXPECT_EQ(errors, 0);
    const std::string summary = icalcomponent_get_summary(todo);
    // Escaped characters survive; line breaks become one line feed; controls are gone.
    const std::string start = "a,b;c\\d\ne\nf\t\n\n\uFFFD\uFFFD(";
    EXPECT_EQ(summary.substr(0, start.size()), start);
    EXPECT_STREQ(icalcomponent_get_description(todo), summary.c_str());
    EXPECT_GE(text::graphemeCount(summary), 19000u);

    // The file on disk reads back through todoman too.
    ASSERT_TRUE(fileio::writeFileAtomically(collection() / "hostile.ics", ics));
    const std::string binary = findTodoman();
    if (binary.empty()) GTEST_SKIP() << "todoman is not installed (Debian package todoman)";
    const auto porcelain = todoman(binary, "UTC");
    ASSERT_TRUE(porcelain);
    const auto tasks = nlohmann::json::parse(*porcelain, nullptr, false);
    ASSERT_TRUE(tasks.is_array() && tasks.size() == 1u) << porcelain->substr(0, 2000);
    EXPECT_EQ(tasks[0]["summary"], summary);
}

TEST_F(VdirRemindersTest, CollectionsThatCannotBeUsed) {
    const auto shanghai = calendarIn("Asia/Shanghai");
    const TimePoint now = utc(2024, 5, 1, 2, 0);
    // A missing collection is created, parents and all.
    const fs::path nested = dir_.path() / "a" / "b" / "Reminders";
    ASSERT_TRUE(add("x", now, *shanghai, nested).ok());
    EXPECT_EQ(icsFiles(nested).size(), 1u);

    // One that cannot be created (a file in the way), or cannot be written (even by root):
    // the error names the folder and the system's reason, and leaves what is there alone.
    const fs::path blocker = dir_.path() / "blocker";
    std::ofstream(blocker) << "x";
    for (const auto& [where, error] : {std::pair{blocker / "Reminders", ENOTDIR},
                                       {blocker, ENOTDIR},
                                       {fs::path("/proc/self"), ENOENT}}) {
        const auto r = add("x", now, *shanghai, where);
        ASSERT_FALSE(r.ok()) << where;
        EXPECT_EQ(r.error().description(),
                  L("没法写入提醒事项文件夹「%@」：%@", where.string(), std::strerror(error)));
    }
    EXPECT_EQ(fileio::readFile(blocker), "x");
}
