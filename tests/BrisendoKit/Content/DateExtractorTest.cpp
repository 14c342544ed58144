#include "BrisendoKit/Content/DateExtractor.h"

#include <gtest/gtest.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BrisendoKit/Content/ReminderCreator.h"
#include "BrisendoKit/Content/ReminderDraft.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/RemindersService.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/Worker.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;

namespace {

std::unique_ptr<icu::Calendar> calendarIn(const char* zone) {
    UErrorCode status = U_ZERO_ERROR;
    auto cal = std::make_unique<icu::GregorianCalendar>(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)), status);
    EXPECT_TRUE(U_SUCCESS(status));
    return cal;
}

// The wall-clock time "2024-05-01 10:00" in the calendar's zone (the first one when a clock
// change repeats it).
TimePoint at(const icu::Calendar& calendar, const char* wallTime) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    std::sscanf(wallTime, "%d-%d-%d %d:%d", &y, &mo, &d, &h, &mi);
    std::unique_ptr<icu::Calendar> cal(calendar.clone());
    cal->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    cal->clear();
    cal->set(y, mo - 1, d, h, mi, 0);
    UErrorCode status = U_ZERO_ERROR;
    return TimePoint(std::chrono::milliseconds(static_cast<long long>(cal->getTime(status))));
}

// "2024-05-02 15:00", "2024-05-10" without a time, "none".
std::string show(const std::optional<DateComponents>& c) {
    if (!c) return "none";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c->year, c->month, c->day);
    if (c->hour)
        std::snprintf(buf + 10, sizeof buf - 10, " %02d:%02d", *c->hour, c->minute.value_or(-1));
    return buf;
}

class DateExtractorTest : public ::testing::Test {
  protected:
    // Cases "text = reading" or "text = reading @ now" (now defaults to Wednesday 1 May 2024,
    // 10:00), separated by ";" or line ends; a line starting with "#" is a comment.
    static void expectReadings(const std::string& table, const char* zone = "Asia/Shanghai") {
        const auto cal = calendarIn(zone);
        std::istringstream lines(table);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream cases(text::trim(line).starts_with("#") ? "" : line);
            for (std::string c; std::getline(cases, c, ';');) {
                const auto eq = c.find('='), nowAt = c.find('@');
                if (eq == std::string::npos) continue;
                const std::string input = text::trim(c.substr(0, eq)),
                                  now = nowAt == std::string::npos
                                            ? "2024-05-01 10:00"
                                            : text::trim(c.substr(nowAt + 1));
                EXPECT_EQ(show(DateExtractor::extract(input, at(*cal, now.c_str()), *cal)),
                          text::trim(c.substr(eq + 1, nowAt - eq - 1)))
                    << input << " at " << now;
            }
        }
    }
};

// Keeps what it is asked to save in the default list "Inbox".
struct FakeReminders final : RemindersService {
    explicit FakeReminders(std::shared_ptr<std::vector<NewReminder>> list)
        : saved(std::move(list)) {}
    Result<bool, ReminderError> requestAccess() override { return true; }
    std::optional<std::string> defaultList() override { return std::string("Inbox"); }
    Result<Done, ReminderError> save(const std::string& into, const NewReminder& r) override {
        if (into == "Inbox") saved->push_back(r);
        return Done{};
    }
    std::shared_ptr<std::vector<NewReminder>> saved;
};

class RemindersTest : public ::testing::Test {
  protected:
    ReminderDraft draft(std::string_view text, std::optional<std::string_view> app = std::nullopt,
                        std::optional<std::string_view> url = std::nullopt) const {
        return ReminderDraftBuilder::make(text, app, url, at(*calendar_, "2024-05-01 10:00"),
                                          *calendar_);
    }

    std::unique_ptr<icu::Calendar> calendar_ = calendarIn("Asia/Shanghai");
    std::shared_ptr<std::vector<NewReminder>> saved_ = std::make_shared<std::vector<NewReminder>>();
    test::VirtualClock clock_;
    test::ManualMainQueue queue_{clock_};
    Worker worker_;
    ReminderCreator creator_{queue_, [this] { return std::make_unique<FakeReminders>(saved_); },
                             worker_.runner()};
};

}  // namespace

TEST_F(DateExtractorTest, NamedDaysAndWeekdays) {
    expectReadings(R"(
        # Weeks start on Monday; past days of this week stay past.
        下周五开会 = 2024-05-10; 周五 = 2024-05-03; 这周一 = 2024-04-29; 周三 = 2024-05-01
        下下周一 = 2024-05-13; 下个星期7 = 2024-05-12; 礼拜天 = 2024-05-05; 本周日 = 2024-05-05
        # From a Sunday, "this week" is the week that ends today.
        这周一 = 2024-04-29 @ 2024-05-05 10:00; 下周一 = 2024-05-06 @ 2024-05-05 10:00
        # Year and month ends roll over; a month and day without a year is the next one.
        明天 = 2025-01-01 @ 2024-12-31 10:00; 后天 = 2024-03-01 @ 2024-02-28 10:00
        12月3日 = 2025-12-03 @ 2024-12-04 10:00; 12月3号 = 2024-12-03 @ 2024-12-03 23:00
        2024年12月3日 = 2024-12-03 @ 2025-01-01 10:00; 2024-06-01 14:30 = 2024-06-01 14:30
        # Days past a month's end roll into the next month.
        13月5日 = none; 3月32日 = none; 0000年3月1日 = none; 3.14 = 2025-03-14
        4月31日 = 2024-05-01; 2月30日 = 2025-03-02; 2024年2月30日 = 2024-03-01
        # "tomorrow" is the platform detector's word; none here.
        hello = none; = none; tomorrow = none)");
    const auto cal = calendarIn("Asia/Shanghai");
    const TimePoint now = at(*cal, "2024-05-01 10:00");
    EXPECT_EQ(show(DateExtractor::extract("\xff\xfe明天\x80", now, *cal)), "2024-05-02");
    EXPECT_EQ(show(DateExtractor::extract(std::string("明天\0下午3点", 17), now, *cal)),
              "2024-05-02 15:00");
}

TEST_F(DateExtractorTest, TimesOfDay) {
    expectReadings(R"(
        明天下午3点 = 2024-05-02 15:00; 明天晚上十点半 = 2024-05-02 22:30
        后天中午12点 = 2024-05-03 12:00; 大后天上午9点20分 = 2024-05-04 09:20
        中午1点 = 2024-05-01 13:00; 凌晨12点 = 2024-05-02 00:00; 两点 = 2024-05-02 02:00
        # A time alone means its next occurrence; once a day is named, a past time stays.
        下午3点 = 2024-05-01 15:00; 下午3点 = 2024-05-02 15:00 @ 2024-05-01 15:00
        下午3点 = 2025-01-01 15:00 @ 2024-12-31 16:00; 今天 9:00 = 2024-05-01 09:00
        # 12 → 0 is for "点" only; a clock time's own am/pm counts.
        下午 14:30 = 2024-05-01 14:30; 晚上8:15 = 2024-05-01 20:15; 凌晨12:30 = 2024-05-01 12:30
        10：45 = 2024-05-01 10:45; 9pm = 2024-05-01 21:00; meet at 12am = 2024-05-02 00:00
        12PM = 2024-05-01 12:00; 7:05am = 2024-05-02 07:05; 12:10 am = 2024-05-02 00:10
        # 24点 is the end of the day: midnight starting the next one.
        今天二十四点半 = 2025-01-01 00:30 @ 2024-12-31 10:00
        24点 = 2024-05-02 00:00; 明天24点 = 2024-05-03 00:00
        # Minutes past 59 and hours past 24 name no time; a named day or another form stands.
        3点75分 = none; 明天3点75分 = 2024-05-02; 明天25点 = 2024-05-02; 25pm = none
        3点75分 8pm = 2024-05-01 20:00; 9:99pm = none; 14:75 = none
        14:75 下午4点 = 2024-05-01 16:00; 24:10 9pm = 2024-05-01 21:00)");
}

TEST_F(DateExtractorTest, ClockChangesInTheUsersZone) {
    expectReadings(R"(
        # 10 March 2024: 2:00 jumps to 3:00. 2:30 does not exist; the time after the gap
        # (3:00) decides whether it is still ahead.
        2:30 = 2024-03-10 02:30 @ 2024-03-10 00:30; 2:30 = 2024-03-11 02:30 @ 2024-03-10 03:10
        # 3 November 2024: 1:00-2:00 happens twice; its first occurrence counts.
        1:30 = 2024-11-04 01:30 @ 2024-11-03 01:45; 1:30 = 2024-11-03 01:30 @ 2024-11-03 01:15)",
                   "America/New_York");
    // The same instant is another day in another zone.
    const TimePoint instant = at(*calendarIn("Asia/Shanghai"), "2024-05-01 09:00");
    EXPECT_EQ(show(DateExtractor::extract("今天", instant, *calendarIn("America/New_York"))),
              "2024-04-30");
}

TEST_F(RemindersTest, DraftTitleNotesAndDueDate) {
    const ReminderDraft d = draft("  明天下午3点开会\n");
    EXPECT_EQ(d.title, "明天下午3点开会");
    EXPECT_EQ(d.notes, std::nullopt);
    EXPECT_EQ(show(d.due), "2024-05-02 15:00");
    EXPECT_EQ(show(draft("下周五交报告").due), "2024-05-10");
    EXPECT_FALSE(draft("买牛奶").due);

    // The notes hold what the title cut, then the source.
    EXPECT_EQ(draft("买牛奶\n记得低脂"), (ReminderDraft{"买牛奶", "买牛奶\n记得低脂", {}}));
    EXPECT_EQ(draft("读完这篇", "Firefox", "https://example.com/a"),
              (ReminderDraft{"读完这篇", "https://example.com/a · 来自 Firefox", {}}));
    EXPECT_EQ(draft("a\n b", "Firefox", std::nullopt).notes, "a\n b\n\n来自 Firefox");
    const std::string longLine(250, 'x');
    EXPECT_EQ(draft(longLine), (ReminderDraft{std::string(200, 'x'), longLine, {}}));
    EXPECT_EQ(draft("a   b").notes, "a   b");  // the title collapsed the run
    EXPECT_EQ(draft("\xff").title, "\uFFFD");
}

TEST_F(RemindersTest, SavesIntoTheDefaultListWithAnAlarmOnlyForATime) {
    for (const char* text : {"明天下午3点开会", "下周五", "买牛奶"})
        ASSERT_TRUE(creator_.addNow(draft(text)).ok());
    ASSERT_EQ(saved_->size(), 3u);
    EXPECT_EQ((*saved_)[0].title, "明天下午3点开会");
    // 15:00 in Shanghai is 07:00 UTC.
    EXPECT_EQ((*saved_)[0].alarm,
              TimePoint(std::chrono::sys_days(std::chrono::year(2024) / std::chrono::May / 2) +
                        std::chrono::hours(7)));
    EXPECT_TRUE((*saved_)[1].due);
    EXPECT_FALSE((*saved_)[1].alarm);
    EXPECT_FALSE((*saved_)[2].due || (*saved_)[2].alarm);
}
