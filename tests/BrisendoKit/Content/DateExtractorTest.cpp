#include "BrisendoKit/Content/DateExtractor.h"

#include <gtest/gtest.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BrisendoKit/Content/ReminderCreator.h"
#include "BrisendoKit/Content/ReminderDraft.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/RemindersService.h"
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

// The wall-clock time in the calendar's zone (the first one when a clock change repeats it).
TimePoint at(const icu::Calendar& calendar, int y, int mo, int d, int h, int mi) {
    std::unique_ptr<icu::Calendar> cal(calendar.clone());
    cal->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    cal->clear();
    cal->set(y, mo - 1, d, h, mi, 0);
    UErrorCode status = U_ZERO_ERROR;
    const UDate ms = cal->getTime(status);
    return TimePoint(std::chrono::milliseconds(static_cast<long long>(ms)));
}

// "2024-05-02 15:00", "2024-05-10" without a time, "none".
std::string show(const std::optional<DateComponents>& c) {
    if (!c) return "none";
    char buf[64];
    if (c->hour) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", c->year, c->month, c->day,
                      *c->hour, c->minute.value_or(-1));
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c->year, c->month, c->day);
    }
    return buf;
}

class DateExtractorTest : public ::testing::Test {
  protected:
    std::string read(std::string_view text, int y, int mo, int d, int h, int mi) const {
        return show(DateExtractor::extract(text, at(*cal_, y, mo, d, h, mi), *cal_));
    }
    // Wednesday 1 May 2024, 10:00.
    std::string onWednesday(std::string_view text) const { return read(text, 2024, 5, 1, 10, 0); }
    // Pairs of a text and what it reads as on that Wednesday.
    void expectOnWednesday(std::vector<const char*> pairs) const {
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            EXPECT_EQ(onWednesday(pairs[i]), pairs[i + 1]) << pairs[i];
        }
    }

    std::unique_ptr<icu::Calendar> cal_ = calendarIn("Asia/Shanghai");
};

// Wednesday 1 May 2024, 10:00 in Shanghai.
const TimePoint wednesday = TimePoint(
    std::chrono::sys_days(std::chrono::year(2024) / std::chrono::May / 1) + std::chrono::hours(2));

// What the fake service was asked, shared with the test after the service is gone.
struct Journal {
    int opened = 0;
    std::vector<std::pair<std::string, NewReminder>> saved;
};

class FakeReminders final : public RemindersService {
  public:
    explicit FakeReminders(std::shared_ptr<Journal> journal) : journal_(std::move(journal)) {}

    Result<bool, ReminderError> access = true;
    std::optional<std::string> list = std::string("Inbox");
    std::optional<ReminderError> saveError;

    Result<bool, ReminderError> requestAccess() override { return access; }
    std::optional<std::string> defaultList() override { return list; }
    Result<Done, ReminderError> save(const std::string& into, const NewReminder& r) override {
        if (saveError) return fail(*saveError);
        journal_->saved.emplace_back(into, r);
        return Done{};
    }

  private:
    std::shared_ptr<Journal> journal_;
};

class RemindersTest : public ::testing::Test {
  protected:
    ReminderDraft draft(std::string_view text, std::optional<std::string_view> app = std::nullopt,
                        std::optional<std::string_view> url = std::nullopt) const {
        return ReminderDraftBuilder::make(text, app, url, wednesday, *calendar_);
    }

    // A creator whose every opened service is set up by `configure`.
    ReminderCreator creator(std::function<void(FakeReminders&)> configure = {}) {
        return ReminderCreator(
            queue_,
            [this, configure] {
                ++journal_->opened;
                auto service = std::make_unique<FakeReminders>(journal_);
                if (configure) configure(*service);
                return service;
            },
            worker_.runner());
    }

    std::unique_ptr<icu::Calendar> calendar_ = calendarIn("Asia/Shanghai");
    std::shared_ptr<Journal> journal_ = std::make_shared<Journal>();
    test::VirtualClock clock_;
    test::ManualMainQueue queue_{clock_};
    Worker worker_;
};

}  // namespace

TEST_F(DateExtractorTest, WeekdaysCountInWeeksThatStartOnMonday) {
    // Past days of this week stay past.
    expectOnWednesday({"下周五开会", "2024-05-10", "周五", "2024-05-03", "这周一", "2024-04-29",
                       "周三", "2024-05-01", "下下周一", "2024-05-13", "下个星期7", "2024-05-12",
                       "礼拜天", "2024-05-05", "本周日", "2024-05-05"});
    // From a Sunday, "this week" is the week that ends today.
    EXPECT_EQ(read("这周一", 2024, 5, 5, 10, 0), "2024-04-29");
    EXPECT_EQ(read("下周一", 2024, 5, 5, 10, 0), "2024-05-06");
    EXPECT_EQ(read("周日", 2024, 5, 5, 10, 0), "2024-05-05");
}

TEST_F(DateExtractorTest, RelativeDaysWithChineseHours) {
    expectOnWednesday({"明天", "2024-05-02", "明天下午3点", "2024-05-02 15:00"});
    expectOnWednesday({"明天晚上十点半", "2024-05-02 22:30", "后天中午12点", "2024-05-03 12:00"});
    expectOnWednesday({"大后天上午9点20分", "2024-05-04 09:20", "中午1点", "2024-05-01 13:00"});
    expectOnWednesday(
        {"凌晨12点", "2024-05-02 00:00", "两点", "2024-05-02 02:00", "二十点", "2024-05-01 20:00"});
    // Year and month ends roll over.
    EXPECT_EQ(read("明天", 2024, 12, 31, 10, 0), "2025-01-01");
    EXPECT_EQ(read("后天", 2024, 2, 28, 10, 0), "2024-03-01");
}

TEST_F(DateExtractorTest, ATimeAloneMeansItsNextOccurrence) {
    EXPECT_EQ(read("下午3点", 2024, 5, 1, 10, 0), "2024-05-01 15:00");
    EXPECT_EQ(read("下午3点", 2024, 5, 1, 15, 0), "2024-05-02 15:00");
    EXPECT_EQ(read("下午3点", 2024, 12, 31, 16, 0), "2025-01-01 15:00");
    // Once a day is named, a past time stays.
    EXPECT_EQ(read("今天 9:00", 2024, 5, 1, 10, 0), "2024-05-01 09:00");
}

TEST_F(DateExtractorTest, MonthAndDayWithAndWithoutYear) {
    EXPECT_EQ(read("12月3日", 2024, 12, 4, 10, 0), "2025-12-03");
    EXPECT_EQ(read("12月3号", 2024, 12, 3, 23, 0), "2024-12-03");  // today is not past
    EXPECT_EQ(read("2024年12月3日", 2025, 1, 1, 10, 0), "2024-12-03");
    // Days past a month's end roll into the next month.
    expectOnWednesday({"2024-06-01 14:30", "2024-06-01 14:30", "13月5日", "none", "3月32日", "none",
                       "0000年3月1日", "none", "3.14", "2025-03-14", "4月31日", "2024-05-01",
                       "2月30日", "2025-03-02", "2024年2月30日", "2024-03-01"});
}

TEST_F(DateExtractorTest, ClockTimesAndPeriods) {
    // 12 → 0 is for "点" only; a clock time's own am/pm counts.
    expectOnWednesday({"下午 14:30", "2024-05-01 14:30", "晚上8:15",     "2024-05-01 20:15",
                       "凌晨12:30",  "2024-05-01 12:30", "10：45",       "2024-05-01 10:45",
                       "9pm",        "2024-05-01 21:00", "meet at 12am", "2024-05-02 00:00",
                       "12PM",       "2024-05-01 12:00", "7:05am",       "2024-05-02 07:05",
                       "9:45 pm",    "2024-05-01 21:45", "12:10 am",     "2024-05-02 00:10"});
}

TEST_F(DateExtractorTest, OutOfRangeHoursAndMinutes) {
    // 24点 is the end of the day: midnight starting the next one.
    EXPECT_EQ(read("今天二十四点半", 2024, 12, 31, 10, 0), "2025-01-01 00:30");
    // Minutes past 59 and hours past 24 name no time; a named day or another form still stands.
    expectOnWednesday({"24点",          "2024-05-02 00:00",
                       "明天24点",      "2024-05-03 00:00",
                       "3点75分",       "none",
                       "明天3点75分",   "2024-05-02",
                       "明天25点",      "2024-05-02",
                       "25pm",          "none",
                       "3点75分 8pm",   "2024-05-01 20:00",
                       "9:99pm",        "none",
                       "14:75",         "none",
                       "14:75 下午4点", "2024-05-01 16:00",
                       "24:10 9pm",     "2024-05-01 21:00"});
}

TEST_F(DateExtractorTest, NumbersInDigitsAndChinese) {
    const std::initializer_list<std::pair<const char*, std::optional<int>>> cases = {
        {"15", 15},     {"-3", -3},     {"１２", 12}, {"十", 10},         {"十二", 12},
        {"二十", 20},   {"两十三", 23}, {"两", 2},    {"十十", {}},       {"一二三", {}},
        {"十二三", {}}, {"", {}},       {"-", {}},    {"99999999999", {}}};
    for (const auto& [text, want] : cases) EXPECT_EQ(DateExtractor::number(text), want) << text;
}

TEST_F(DateExtractorTest, TextWithoutDatesAndBrokenText) {
    // "tomorrow" is the platform detector's word; none here.
    expectOnWednesday(
        {"hello", "none", "", "none", "tomorrow", "none", "\xff\xfe明天\x80", "2024-05-02"});
    EXPECT_EQ(onWednesday(std::string("明天\0下午3点", 17)), "2024-05-02 15:00");
}

TEST_F(DateExtractorTest, ClockChangesInTheUsersZone) {
    const auto ny = calendarIn("America/New_York");
    const auto readNY = [&](std::string_view text, int y, int mo, int d, int h, int mi) {
        return show(DateExtractor::extract(text, at(*ny, y, mo, d, h, mi), *ny));
    };
    // 10 March 2024: 2:00 jumps to 3:00. 2:30 does not exist; the time after the gap
    // (3:00) decides whether it is still ahead.
    EXPECT_EQ(readNY("2:30", 2024, 3, 10, 0, 30), "2024-03-10 02:30");
    EXPECT_EQ(readNY("2:30", 2024, 3, 10, 3, 10), "2024-03-11 02:30");
    // 3 November 2024: 1:00-2:00 happens twice; its first occurrence counts.
    EXPECT_EQ(readNY("1:30", 2024, 11, 3, 1, 45), "2024-11-04 01:30");
    EXPECT_EQ(readNY("1:30", 2024, 11, 3, 1, 15), "2024-11-03 01:30");
    // The same instant is another day in another zone.
    const TimePoint instant = at(*cal_, 2024, 5, 1, 9, 0);  // 1 May 09:00 in Shanghai
    EXPECT_EQ(show(DateExtractor::extract("今天", instant, *ny)), "2024-04-30");
}

TEST_F(DateExtractorTest, DescribeUsesTheInterfaceLanguage) {
    const auto previous = Localizer::languageOverride();
    DateComponents c;
    c.year = 2024, c.month = 12, c.day = 3;
    c.calendar = std::shared_ptr<const icu::Calendar>(cal_->clone());
    Localizer::setLanguageOverride("zh-Hans");
    EXPECT_EQ(DateExtractor::describe(c), "12月3日");
    c.hour = 14, c.minute = 30;
    EXPECT_EQ(DateExtractor::describe(c), "12月3日 14:30");
    Localizer::setLanguageOverride("en");
    EXPECT_EQ(DateExtractor::describe(c), "Dec 3 14:30");
    c.hour = 9;
    c.minute.reset();
    c.calendar.reset();  // the current calendar stands in
    EXPECT_EQ(DateExtractor::describe(c), "Dec 3 09:00");
    // Fields that make no date leave only the time.
    c.month = 2'000'000'000;
    EXPECT_EQ(DateExtractor::describe(c), " 09:00");
    Localizer::setLanguageOverride(previous);
}

TEST_F(RemindersTest, DraftTitleNotesAndDueDate) {
    const ReminderDraft d = draft("  明天下午3点开会\n");
    EXPECT_EQ(d.title, "明天下午3点开会");
    EXPECT_EQ(d.notes, std::nullopt);
    ASSERT_TRUE(d.due);
    EXPECT_EQ(
        (std::vector<int>{d.due->year, d.due->month, d.due->day, *d.due->hour, *d.due->minute}),
        (std::vector<int>{2024, 5, 2, 15, 0}));
    EXPECT_FALSE(draft("下周五交报告").due->hour);
    EXPECT_FALSE(draft("买牛奶").due);

    // The notes hold what the title cut, then the source.
    EXPECT_EQ(draft("买牛奶\n记得低脂").title, "买牛奶");
    EXPECT_EQ(draft("买牛奶\n记得低脂").notes, "买牛奶\n记得低脂");
    const ReminderDraft fromPage = draft("读完这篇", "Firefox", "https://example.com/a");
    EXPECT_EQ(fromPage.title, "读完这篇");
    EXPECT_EQ(fromPage.notes, "https://example.com/a · 来自 Firefox");
    EXPECT_EQ(draft("a\n b", "Firefox", std::nullopt).notes, "a\n b\n\n来自 Firefox");
    const std::string longLine(250, 'x');
    EXPECT_EQ(draft(longLine).title, std::string(200, 'x'));
    EXPECT_EQ(draft(longLine).notes, longLine);
    EXPECT_EQ(draft("a   b").notes, "a   b");  // the title collapsed the run
    EXPECT_EQ(draft("\xff").title, "\xEF\xBF\xBD");
}

TEST_F(RemindersTest, SavesIntoTheDefaultListWithAnAlarmOnlyForATime) {
    ASSERT_TRUE(creator().addNow(draft("明天下午3点开会")).ok());
    ASSERT_TRUE(creator().addNow(draft("下周五")).ok());
    ASSERT_TRUE(creator().addNow(draft("买牛奶")).ok());
    ASSERT_EQ(journal_->saved.size(), 3u);
    EXPECT_EQ(journal_->saved[0].first, "Inbox");
    EXPECT_EQ(journal_->saved[0].second.title, "明天下午3点开会");
    // 15:00 in Shanghai is 07:00 UTC.
    EXPECT_EQ(journal_->saved[0].second.alarm,
              TimePoint(std::chrono::sys_days(std::chrono::year(2024) / std::chrono::May / 2) +
                        std::chrono::hours(7)));
    EXPECT_TRUE(journal_->saved[1].second.due);
    EXPECT_FALSE(journal_->saved[1].second.alarm);
    EXPECT_FALSE(journal_->saved[2].second.due || journal_->saved[2].second.alarm);
    EXPECT_EQ(journal_->opened, 3);  // a fresh service for every reminder
}

TEST_F(RemindersTest, FailuresSaveNothingAndSayWhy) {
    // The service's own errors pass through unchanged.
    using Setup = std::function<void(FakeReminders&)>;
    for (auto [setup, error] : std::vector<std::pair<Setup, std::string>>{
             {[](FakeReminders& s) { s.access = false; }, ReminderError::denied().description()},
             {[](FakeReminders& s) { s.list.reset(); }, "找不到默认的提醒事项列表"},
             {[](FakeReminders& s) { s.access = fail(ReminderError::service("bus gone")); },
              "bus gone"},
             {[](FakeReminders& s) { s.saveError = ReminderError::service("disk full"); },
              "disk full"}}) {
        const auto result = creator(setup).addNow(draft("a"));
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().description(), error);
    }
    EXPECT_TRUE(journal_->saved.empty());

    // Not even a service to open.
    const ReminderCreator none(
        queue_, [] { return std::unique_ptr<RemindersService>(); }, worker_.runner());
    EXPECT_FALSE(none.addNow(draft("a")).ok());
}
