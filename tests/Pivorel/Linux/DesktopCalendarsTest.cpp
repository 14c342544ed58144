#include "Pivorel/Linux/DesktopCalendars.h"

#include <gtest/gtest.h>
#include <libecal/libecal.h>
#include <unicode/gregocal.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "BrisendoKit/Content/EventDraft.h"
#include "BrisendoKit/Content/ReminderCreator.h"
#include "BrisendoKit/Support/FileIO.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

G_DEFINE_AUTOPTR_CLEANUP_FUNC(ICalComponent, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(ICalDuration, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(ICalTime, g_object_unref)

using namespace pivorel;
using namespace std::chrono;

namespace {

namespace fs = std::filesystem;

const auto berlin = [] {
    UErrorCode status = U_ZERO_ERROR;
    return std::make_shared<icu::GregorianCalendar>(icu::TimeZone::createTimeZone("Europe/Berlin"),
                                                    status);
}();
// Saturday 30 March 2024, 10:00 in Berlin.
const TimePoint now = sys_days(year(2024) / 3 / 30) + hours(9);

struct DesktopCalendarsTest : ::testing::Test {
    test::TempDir dir;
    // GLib reads the XDG directories once per process: set them before its first use.
    void SetUp() override {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            fs::create_directories(dir.path() / name);
            setenv(name, (dir.path() / name).c_str(), 1);
        }
    }
    Result<std::string, CalendarError> add(std::string_view text, bool evolution) {
        const auto draft = EventDraft::make(text, std::nullopt, std::nullopt, now, *berlin);
        return DesktopCalendars::calendar({evolution, dir.path() / "events", 8})->add(draft.event);
    }
};

// The one item Evolution Data Server holds in `source` whose summary contains `marker`.
void find(ESource* source, ECalClientSourceType type, const std::string& marker,
          ICalComponent** out) {
    g_autoptr(GError) error = nullptr;
    EClient* client =
        e_cal_client_connect_sync(source, type, static_cast<guint32>(-1), nullptr, &error);
    ASSERT_TRUE(client) << error->message;
    GSList* found = nullptr;
    const std::string query = "(contains? \"summary\" \"" + marker + "\")";
    ASSERT_TRUE(e_cal_client_get_object_list_sync(E_CAL_CLIENT(client), query.c_str(), &found,
                                                  nullptr, &error));
    ASSERT_EQ(g_slist_length(found), 1u);
    *out = I_CAL_COMPONENT(g_object_ref(found->data));
    g_slist_free_full(found, g_object_unref);
    g_object_unref(client);
}

}  // namespace

TEST_F(DesktopCalendarsTest, EvolutionKeepsEventsAndTasksWithTheirTimes) {
    // Only the private bus of scripts/keyring-session, never the user's calendars.
    if (!std::getenv("PIVOREL_TEST_EDS")) GTEST_SKIP() << "not inside scripts/keyring-session";
    g_autoptr(GError) error = nullptr;
    g_autoptr(ESourceRegistry) registry = e_source_registry_new_sync(nullptr, &error);
    if (!registry) GTEST_SKIP() << "Evolution Data Server does not answer: " << error->message;
    g_autoptr(ESource) calendar = e_source_registry_ref_default_calendar(registry);
    g_autoptr(ESource) tasks = e_source_registry_ref_default_task_list(registry);

    const std::string marker = std::to_string(system_clock::now().time_since_epoch().count());
    // A time of day: an hour long in the user's zone; a date alone: the whole day.
    for (const auto& [text, hour] :
         {std::pair{"明天晚上8点 聚餐 " + marker, 20}, {"4月2日 交报告 " + marker, -1}}) {
        const auto r = add(text, true);
        ASSERT_TRUE(r.ok()) << r.error().reason;
        EXPECT_EQ(*r, e_source_get_display_name(calendar));
        g_autoptr(ICalComponent) event = nullptr;
        find(calendar, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, text, &event);
        if (!event) continue;
        g_autoptr(ICalTime) start = i_cal_component_get_dtstart(event);
        EXPECT_EQ((std::vector<int>{i_cal_time_is_date(start), i_cal_time_get_day(start),
                                    hour < 0 ? -1 : i_cal_time_get_hour(start)}),
                  (std::vector<int>{hour < 0, hour < 0 ? 2 : 31, hour}));
        EXPECT_TRUE(hour < 0 || g_str_has_suffix(i_cal_time_get_tzid(start), "/Europe/Berlin"));
    }

    test::VirtualClock clock;
    test::ManualMainQueue queue{clock};
    const ReminderCreator creator(
        queue, [&] { return DesktopCalendars::reminders(dir.path() / "unused", {}); }, nullptr);
    const auto list = creator.addNow(ReminderDraftBuilder::make(
        "明天下午3点 打电话 " + marker, std::nullopt, "https://example.com/a", now, *berlin));
    ASSERT_TRUE(list.ok()) << list.error().description();
    EXPECT_EQ(*list, e_source_get_display_name(tasks));
    g_autoptr(ICalComponent) task = nullptr;
    find(tasks, E_CAL_CLIENT_SOURCE_TYPE_TASKS, "打电话 " + marker, &task);
    ASSERT_TRUE(task);
    g_autoptr(ICalTime) due = i_cal_component_get_due(task);
    EXPECT_EQ(i_cal_time_get_hour(due), 15);
    // The writer's alarm, kept by the service.
    EXPECT_EQ(i_cal_component_count_components(task, I_CAL_VALARM_COMPONENT), 1);
}

TEST_F(DesktopCalendarsTest, WithoutEvolutionTheCalendarProgramOpensAnEventFile) {
    EXPECT_EQ(add("x", false).error().kind, CalendarError::Kind::noCalendar);
    EXPECT_FALSE(fs::exists(dir.path() / "events"));

    const fs::path opened = dir.path() / "opened.ics", script = dir.path() / "record";
    std::ofstream(script) << "#!/bin/sh\ncp \"$1\" '" << opened.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    fs::create_directories(dir.path() / "XDG_DATA_HOME/applications");
    std::ofstream(dir.path() / "XDG_DATA_HOME/applications/cal-test.desktop")
        << "[Desktop Entry]\nType=Application\nName=Cal Test\nExec=" << script.string()
        << " %f\nMimeType=text/calendar;\n";
    ASSERT_EQ(test::runShell("xdg-mime default cal-test.desktop text/calendar").status, 0);

    const auto r = add("明天晚上8点 聚餐", false);
    ASSERT_TRUE(r.ok()) << r.error().reason;
    EXPECT_EQ(*r, "Cal Test");
    for (int i = 0; i < 500 && !fs::exists(opened); ++i) std::this_thread::sleep_for(10ms);
    const auto ics = fileio::readFile(opened);
    ASSERT_TRUE(ics);
    g_autoptr(ICalComponent) file = i_cal_component_new_from_string(ics->c_str());
    g_autoptr(ICalComponent) event =
        i_cal_component_get_first_component(file, I_CAL_VEVENT_COMPONENT);
    ASSERT_TRUE(event);
    g_autoptr(ICalTime) start = i_cal_component_get_dtstart(event);
    EXPECT_EQ((std::vector<int>{i_cal_time_get_day(start), i_cal_time_get_hour(start)}),
              (std::vector<int>{31, 20}));
    EXPECT_STREQ(i_cal_time_get_tzid(start), "Europe/Berlin");
    g_autoptr(ICalDuration) length = i_cal_component_get_duration(event);
    EXPECT_EQ(i_cal_duration_as_int(length), 3600);
}
