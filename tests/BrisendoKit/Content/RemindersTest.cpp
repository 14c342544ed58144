#include <gtest/gtest.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "BrisendoKit/Content/ReminderCreator.h"
#include "BrisendoKit/Content/ReminderDraft.h"
#include "BrisendoKit/Platform/RemindersService.h"
#include "BrisendoKit/Support/Worker.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;

namespace {

std::unique_ptr<icu::Calendar> shanghai() {
    UErrorCode status = U_ZERO_ERROR;
    return std::make_unique<icu::GregorianCalendar>(icu::TimeZone::createTimeZone(u"Asia/Shanghai"),
                                                    status);
}

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

    std::unique_ptr<icu::Calendar> calendar_ = shanghai();
    std::shared_ptr<Journal> journal_ = std::make_shared<Journal>();
    test::VirtualClock clock_;
    test::ManualMainQueue queue_{clock_};
    Worker worker_;
};

}  // namespace

TEST_F(RemindersTest, DraftKeepsTheTextAsTitleAndReadsTheDueDate) {
    const ReminderDraft d = draft("  明天下午3点开会\n");
    EXPECT_EQ(d.title, "明天下午3点开会");
    EXPECT_EQ(d.notes, std::nullopt);
    ASSERT_TRUE(d.due);
    EXPECT_EQ(
        (std::vector<int>{d.due->year, d.due->month, d.due->day, *d.due->hour, *d.due->minute}),
        (std::vector<int>{2024, 5, 2, 15, 0}));

    const ReminderDraft weekly = draft("下周五交报告");
    ASSERT_TRUE(weekly.due);
    EXPECT_EQ(weekly.due->day, 10);
    EXPECT_FALSE(weekly.due->hour);
    EXPECT_FALSE(draft("买牛奶").due);
}

TEST_F(RemindersTest, NotesHoldWhatTheTitleCutAndTheSource) {
    const ReminderDraft twoLines = draft("买牛奶\n记得低脂");
    EXPECT_EQ(twoLines.title, "买牛奶");
    EXPECT_EQ(twoLines.notes, "买牛奶\n记得低脂");

    const ReminderDraft fromPage = draft("读完这篇", "Firefox", "https://example.com/a");
    EXPECT_EQ(fromPage.title, "读完这篇");
    EXPECT_EQ(fromPage.notes, "https://example.com/a · 来自 Firefox");
    EXPECT_EQ(draft("a\n b", "Firefox", std::nullopt).notes, "a\n b\n\n来自 Firefox");

    const std::string longLine(250, 'x');
    const ReminderDraft longOne = draft(longLine);
    EXPECT_EQ(longOne.title, std::string(200, 'x'));
    EXPECT_EQ(longOne.notes, longLine);

    // Whitespace runs are collapsed in the title, so the notes keep the original.
    EXPECT_EQ(draft("a   b").notes, "a   b");
    EXPECT_EQ(draft("\xff").title, "\xEF\xBF\xBD");
}

TEST_F(RemindersTest, SavesIntoTheDefaultListWithAnAlarmOnlyForATime) {
    const auto withTime = creator().addNow(draft("明天下午3点开会"));
    ASSERT_TRUE(withTime.ok());
    ASSERT_EQ(journal_->saved.size(), 1u);
    const auto& [list, reminder] = journal_->saved[0];
    EXPECT_EQ(list, "Inbox");
    EXPECT_EQ(reminder.title, "明天下午3点开会");
    EXPECT_EQ(reminder.notes, std::nullopt);
    // 15:00 in Shanghai is 07:00 UTC.
    EXPECT_EQ(reminder.alarm,
              TimePoint(std::chrono::sys_days(std::chrono::year(2024) / std::chrono::May / 2) +
                        std::chrono::hours(7)));

    ASSERT_TRUE(creator().addNow(draft("下周五")).ok());
    ASSERT_TRUE(creator().addNow(draft("买牛奶\n记得低脂")).ok());
    ASSERT_EQ(journal_->saved.size(), 3u);
    EXPECT_TRUE(journal_->saved[1].second.due);
    EXPECT_FALSE(journal_->saved[1].second.alarm);
    EXPECT_FALSE(journal_->saved[2].second.due);
    EXPECT_FALSE(journal_->saved[2].second.alarm);
    EXPECT_EQ(journal_->saved[2].second.notes, "买牛奶\n记得低脂");
    EXPECT_EQ(journal_->opened, 3);  // a fresh service for every reminder
}

TEST_F(RemindersTest, FailuresSaveNothingAndSayWhy) {
    const auto denied = creator([](FakeReminders& s) { s.access = false; }).addNow(draft("a"));
    ASSERT_FALSE(denied.ok());
    EXPECT_EQ(denied.error(), ReminderError::denied());
    EXPECT_EQ(denied.error().description(),
              "没有「提醒事项」权限：系统设置 → 隐私与安全性 → 提醒事项 → 打开 Pivorel");

    const auto noList = creator([](FakeReminders& s) { s.list.reset(); }).addNow(draft("a"));
    ASSERT_FALSE(noList.ok());
    EXPECT_EQ(noList.error().description(), "找不到默认的提醒事项列表");

    // The service's own errors pass through unchanged.
    const auto askFailed = creator([](FakeReminders& s) {
                               s.access = fail(ReminderError::service("bus gone"));
                           }).addNow(draft("a"));
    ASSERT_FALSE(askFailed.ok());
    EXPECT_EQ(askFailed.error().description(), "bus gone");
    const auto saveFailed = creator([](FakeReminders& s) {
                                s.saveError = ReminderError::service("disk full");
                            }).addNow(draft("a"));
    ASSERT_FALSE(saveFailed.ok());
    EXPECT_EQ(saveFailed.error(), ReminderError::service("disk full"));
    EXPECT_TRUE(journal_->saved.empty());

    // Not even a service to open.
    const ReminderCreator none(
        queue_, [] { return std::unique_ptr<RemindersService>(); }, worker_.runner());
    EXPECT_FALSE(none.addNow(draft("a")).ok());
}

TEST_F(RemindersTest, AddReportsOnTheMainQueue) {
    std::optional<Result<Done, ReminderError>> outcome;
    creator().add(draft("明天"), [&](Result<Done, ReminderError> r) { outcome = std::move(r); });
    ASSERT_TRUE(queue_.waitForPost(std::chrono::seconds(10)));
    EXPECT_FALSE(outcome);  // nothing happens off the main queue
    queue_.runReady();
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->ok());
    EXPECT_EQ(journal_->saved.size(), 1u);
}
