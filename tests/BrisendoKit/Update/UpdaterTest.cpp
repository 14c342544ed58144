#include "BrisendoKit/Update/Updater.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "BrisendoKit/Update/Appcast.h"
#include "BrisendoKit/Update/UpdaterHook.h"
#include "BrisendoKit/Update/VersionComparison.h"
#include "Fakes/FakeDesktop.h"
#include "Fakes/ManualMainQueue.h"
#include "LocalHttpServer.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

std::string feed(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" xmlns:sparkle"
           "=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><title>Pivorel</"
           "title>" +
           items + "</channel></rss>";
}

std::string appcast(const std::string& version) {
    return feed("<item><link>https://pivorel.app/releases/" + version + "</link><sparkle:version>" +
                version + "</sparkle:version></item>");
}

}  // namespace

TEST(VersionComparison, OrdersReleasesAndPreReleases) {
    for (const char* row :
         {"1.10 > 1.9", "1.0.0 = 1", "v2.1 = 2.1", "1.0b2 < 1.0", "1.0b2 < 1.0b10",
          "1.0beta < 1.0rc1", "1.0.1 > 1.0b9", "1.0-RC1 = 1.0rc1", "1.007 = 1.7",
          // Numbers longer than any integer type still compare.
          "1.99999999999999999999999 > 1.99999999999999999999998"}) {
        std::istringstream in(row);
        std::string a, order, b;
        in >> a >> order >> b;
        const int got = compareVersions(a, b);
        EXPECT_EQ(got < 0 ? "<" : got > 0 ? ">" : "=", order) << row;
    }
    EXPECT_LT(compareVersions("", "0.1"), 0);
}

TEST(Appcast, ReadsBothSparkleFormsAndPicksTheNewestForThisSystem) {
    const auto items = Appcast::parse(
        feed("<item><title>0.3</title><link>https://pivorel.app/releases/0.3</link>"
             "<enclosure url=\"https://pivorel.app/pivorel_0.3.deb\" sparkle:version=\"0.3.0\" "
             "sparkle:shortVersionString=\"0.3\" sparkle:os=\"linux\" length=\"1\"/></item>"
             "<item><title>0.4 mac</title><enclosure url=\"https://x/mac.zip\" "
             "sparkle:version=\"0.4.0\" sparkle:os=\"macos\"/></item>"
             "<item><title>0.2</title><sparkle:version> 0.2.0 </sparkle:version>"
             "<sparkle:releaseNotesLink>https://pivorel.app/notes/0.2</sparkle:releaseNotesLink>"
             "</item>"
             "<item><title>no version</title><enclosure url=\"https://x\"/></item>"));
    ASSERT_TRUE(items) << items.error();
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ((*items)[0].displayVersion, "0.3");
    EXPECT_EQ((*items)[0].os, "linux");
    EXPECT_EQ((*items)[2].version, "0.2.0");
    EXPECT_EQ((*items)[2].displayVersion, "0.2.0");
    EXPECT_EQ((*items)[2].pageURL(), "https://pivorel.app/notes/0.2");

    auto newest = Appcast::newest(*items, "0.1.0");
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->version, "0.3.0") << "the macOS item is not for us";
    EXPECT_EQ(newest->pageURL(), "https://pivorel.app/releases/0.3");
    EXPECT_FALSE(Appcast::newest(*items, "0.3"));
    EXPECT_FALSE(Appcast::newest(*items, "1.0"));
}

TEST(Appcast, BadDocumentsAreErrorsAndBadFieldsAreDropped) {
    for (const char* bad : {"", "<rss><channel><item></channel></rss>",
                            "<html><body>Not found</body></html>", "<rss version=\"2.0\"></rss>"})
        EXPECT_FALSE(Appcast::parse(bad)) << bad;
    const auto empty = Appcast::parse(feed(""));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    // Entities are not expanded beyond the predefined ones.
    const auto entity = Appcast::parse(
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">]>"
        "<rss><channel><item><sparkle:version>&a;&amp;</sparkle:version></item></channel></rss>");
    ASSERT_TRUE(entity);
    ASSERT_EQ(entity->size(), 1u);
    EXPECT_EQ((*entity)[0].version.find("aaaaaaaaaa"), std::string::npos);

    const std::string huge(Appcast::maxFieldBytes + 1, '9');
    const auto items = Appcast::parse(feed("<item><sparkle:version>" + huge +
                                           "</sparkle:version></item><item><sparkle:version>"
                                           "1\xff"
                                           "</sparkle:version></item>"));
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].version, "1\xEF\xBF\xBD");
}

TEST(Appcast, OnlyWebAddressesAreOpened) {
    AppcastItem item;
    item.link = "file:///etc/passwd";
    item.downloadURL = "javascript:alert(1)";
    item.releaseNotesURL = "https://pivorel.app/notes";
    EXPECT_EQ(item.pageURL(), "https://pivorel.app/notes");
    item.releaseNotesURL = "https://pivorel.app/a b";
    item.downloadURL = "HTTP://pivorel.app/x.deb";
    EXPECT_EQ(item.pageURL(), "HTTP://pivorel.app/x.deb");
    item.downloadURL = "https:///nohost";
    EXPECT_EQ(item.pageURL(), "");
}

TEST(UpdaterFetch, ReadsTheFeedOverHttpAndReportsEveryFailure) {
    LocalHttpServer server;
    std::atomic<bool> release{false};
    for (const auto& [path, body] :
         {std::pair{"/newer.xml", appcast("0.2.0")}, {"/broken.xml", "<rss><channel><item>"}}) {
        server.server.Get(path, [body = body](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "application/rss+xml");
        });
    }
    server.server.Get("/moved.xml", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/newer.xml");
    });
    server.server.Get("/stall.xml", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 300 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        res.set_content(appcast("9.0"), "application/rss+xml");
    });
    server.start();

    auto moved = Updater::fetch(server.url("/moved.xml"));
    ASSERT_TRUE(moved) << moved.error();
    EXPECT_EQ(Appcast::newest(*moved, "0.1.0")->displayVersion, "0.2.0");

    auto stalled = Updater::fetch(server.url("/stall.xml"), 0.3);
    release = true;
    for (auto [got, error] : {std::pair{Updater::fetch(server.url("/broken.xml")), "malformed XML"},
                              {Updater::fetch(server.url("/missing.xml")), "HTTP 404"},
                              {stalled, "timed out"}}) {
        ASSERT_FALSE(got);
        EXPECT_NE(got.error().find(error), std::string::npos) << got.error();
    }
}

namespace {

class UpdaterTest : public ::testing::Test {
  protected:
    UpdaterTest() {
        updater.runInBackground = [](std::function<void()> work) { work(); };
        connection = updater.pendingChanged.connect([this] { ++pendingChanges; });
        userConnection = updater.userCheckFinished.connect(
            [this](const Updater::CheckResult& r) { userResults.push_back(r); });
    }

    TempDir dir;
    UserDefaults defaults{dir.path() / "defaults.json"};
    VirtualClock clock;
    ManualMainQueue queue{clock};
    FakeWorkspace workspace;
    std::string feedVersion = "0.1.0";
    bool feedFails = false;
    int fetches = 0;
    Updater updater{defaults,
                    queue,
                    clock,
                    workspace,
                    "0.1.0",
                    [this]() -> Result<Updater::Items, std::string> {
                        ++fetches;
                        if (feedFails) return fail(std::string("HTTP 500"));
                        return Appcast::parse(appcast(feedVersion));
                    }};
    int pendingChanges = 0;
    std::vector<Updater::CheckResult> userResults;
    Connection connection, userConnection;
    LogCapture log;
};

}  // namespace

TEST_F(UpdaterTest, ScheduledChecksRunAfterStartUpThenOncePerInterval) {
    // A last check from a wrong clock, far in the future, does not postpone them.
    defaults.set(Updater::lastCheckKey, toUnixSeconds(clock.now()) + 10 * Updater::defaultInterval);
    UpdaterHook hook(updater);
    int observed = 0;
    auto watching = hook.observe([&] { ++observed; });
    updater.start();
    for (auto [step, want] : {std::pair{Updater::startDelay - 1, 0}, {1, 1}}) {
        queue.advance(step);
        EXPECT_EQ(fetches, want);
    }
    EXPECT_EQ(updater.lastCheck(), clock.now());
    EXPECT_TRUE(log.contains("Pivorel: 更新检查 已是最新"));
    EXPECT_TRUE(log.contains("Pivorel: 更新周期结束 check=1 error=无"));

    for (auto [step, want] : {std::pair{Updater::defaultInterval - 10, 1}, {10, 2}}) {
        queue.advance(step);
        EXPECT_EQ(fetches, want);
    }

    // Turning automatic checks off stops them; on again, the due check comes at once.
    updater.setAutomaticChecks(false);
    queue.advance(3 * Updater::defaultInterval);
    EXPECT_EQ(fetches, 2);
    hook.setAutoCheck(true);
    queue.runReady();
    EXPECT_EQ(fetches, 3);
    EXPECT_EQ(hook.lastCheck(), clock.now());
    EXPECT_EQ(observed, 5) << "three checks and two changes of the setting";
}

TEST_F(UpdaterTest, AnUnattendedFindWaitsAsThePendingVersionUntilTheUserLooks) {
    feedVersion = "0.2.0";
    updater.start(0);
    queue.runReady();
    EXPECT_EQ(updater.pendingVersion(), "0.2.0");
    EXPECT_EQ(pendingChanges, 1);
    EXPECT_EQ(updater.badgeText(), " ⬆︎");
    EXPECT_EQ(updater.menuTitle(), "⬆︎ 有新版本 0.2.0，点此更新");
    EXPECT_TRUE(log.contains("Pivorel: 更新检查 发现新版本 0.2.0 (build 0.2.0)"));
    EXPECT_TRUE(userResults.empty());

    // The same find again changes nothing.
    queue.advance(Updater::defaultInterval);
    EXPECT_EQ(pendingChanges, 1);

    updater.updateNow();
    EXPECT_EQ(workspace.opened, (std::vector<std::string>{"https://pivorel.app/releases/0.2.0"}));
    EXPECT_FALSE(updater.pendingVersion());
    EXPECT_EQ(updater.badgeText(), "");
    EXPECT_EQ(pendingChanges, 2);
}

TEST_F(UpdaterTest, UserChecksReportEveryOutcome) {
    updater.updateNow();  // with no update known, it checks
    queue.runReady();
    EXPECT_TRUE(workspace.opened.empty());
    for (bool fails : {false, true}) {
        feedVersion = "0.3";
        feedFails = fails;
        updater.checkNow();
        queue.runReady();
    }
    ASSERT_EQ(userResults.size(), 3u);
    EXPECT_EQ(userResults[0].message("0.1.0"), "Pivorel 0.1.0 已是最新版本。");
    EXPECT_EQ(userResults[1].outcome, Updater::CheckResult::Outcome::found);
    EXPECT_EQ(userResults[2].message("0.1.0"), "检查更新失败：HTTP 500");
    EXPECT_TRUE(log.contains("Pivorel: 更新周期结束 check=0 error=HTTP 500"));
    EXPECT_EQ(updater.lastCheck(), clock.now());
}

TEST_F(UpdaterTest, UpdaterOnlyModeLogsChecksAndQuitsAfter25Seconds) {
    int quits = 0;
    updater.runUpdaterOnly([&] { ++quits; });
    EXPECT_TRUE(log.contains("Pivorel: --updater-only 版本 0.1.0"));
    queue.runReady();
    EXPECT_EQ(fetches, 1);
    for (int want : {0, 1}) {
        queue.advance(want ? 1 : 24);
        EXPECT_EQ(quits, want);
    }
}
