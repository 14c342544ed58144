#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "BrisendoKit/Update/Updater.h"
#include "BrisendoKit/Update/UpdaterHook.h"
#include "Fakes/FakeDesktop.h"
#include "Fakes/ManualMainQueue.h"
#include "LocalHttpServer.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

std::string appcast(const std::string& version) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><item>"
           "<link>https://pivorel.app/releases/" +
           version + "</link><sparkle:version>" + version +
           "</sparkle:version></item></channel></rss>";
}

}  // namespace

TEST(UpdaterFetch, ReadsTheFeedOverHttpAndReportsEveryFailure) {
    LocalHttpServer server;
    std::atomic<bool> release{false};
    for (const auto& [path, body] : {std::pair{"/newer.xml", appcast("0.2.0")},
                                     {"/same.xml", appcast("0.1.0")},
                                     {"/broken.xml", "<rss><channel><item>"}}) {
        server.server.Get(path, [body = body](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "application/rss+xml");
        });
    }
    server.server.Get("/moved.xml", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/newer.xml");
    });
    server.server.Get("/stall.xml", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 300 && !release; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        res.set_content(appcast("9.0"), "application/rss+xml");
    });
    server.start();

    auto newer = Updater::fetch(server.url("/newer.xml"));
    ASSERT_TRUE(newer) << newer.error();
    EXPECT_EQ(Appcast::newest(*newer, "0.1.0")->displayVersion, "0.2.0");
    auto same = Updater::fetch(server.url("/same.xml"));
    ASSERT_TRUE(same);
    EXPECT_FALSE(Appcast::newest(*same, "0.1.0"));
    ASSERT_TRUE(Updater::fetch(server.url("/moved.xml")));

    auto broken = Updater::fetch(server.url("/broken.xml"));
    ASSERT_FALSE(broken);
    EXPECT_NE(broken.error().find("malformed XML"), std::string::npos);
    auto missing = Updater::fetch(server.url("/missing.xml"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), "HTTP 404");
    auto stalled = Updater::fetch(server.url("/stall.xml"), 0.3);
    release = true;
    ASSERT_FALSE(stalled);
    EXPECT_NE(stalled.error().find("timed out"), std::string::npos) << stalled.error();
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
    UpdaterHook hook(updater);
    int observed = 0;
    auto watching = hook.observe([&] { ++observed; });
    updater.start();
    queue.advance(Updater::startDelay - 1);
    EXPECT_EQ(fetches, 0);
    queue.advance(1);
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(updater.lastCheck(), clock.now());
    EXPECT_TRUE(log.contains("Pivorel: 更新检查 已是最新"));
    EXPECT_TRUE(log.contains("Pivorel: 更新周期结束 check=1 error=无"));

    queue.advance(Updater::defaultInterval - 10);
    EXPECT_EQ(fetches, 1);
    queue.advance(10);
    EXPECT_EQ(fetches, 2);

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

TEST_F(UpdaterTest, ALastCheckFromAWrongClockDoesNotPostponeChecks) {
    defaults.set(Updater::lastCheckKey, toUnixSeconds(clock.now()) + 10 * Updater::defaultInterval);
    updater.start();
    queue.advance(Updater::startDelay);
    EXPECT_EQ(fetches, 1);
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
    feedVersion = "0.3";
    updater.checkNow();
    queue.runReady();
    feedFails = true;
    updater.checkNow();
    queue.runReady();
    ASSERT_EQ(userResults.size(), 3u);
    EXPECT_EQ(userResults[0].message("0.1.0"), "Pivorel 0.1.0 已是最新版本。");
    EXPECT_EQ(userResults[1].outcome, Updater::CheckResult::Outcome::found);
    EXPECT_EQ(userResults[1].message("0.1.0"), "有新版本 0.3，当前是 0.1.0。");
    EXPECT_EQ(userResults[2].message("0.1.0"), "检查更新失败：HTTP 500");
    EXPECT_TRUE(log.contains("Pivorel: 更新检查 失败 HTTP 500"));
    EXPECT_TRUE(log.contains("Pivorel: 更新周期结束 check=0 error=HTTP 500"));
    // The user saw the update: nothing waits in the tray.
    EXPECT_FALSE(updater.pendingVersion());
    EXPECT_EQ(updater.lastCheck(), clock.now());
}

TEST_F(UpdaterTest, AUserCheckDuringAScheduledOneGetsItsAnswer) {
    std::vector<std::function<void()>> parked;
    updater.runInBackground = [&](std::function<void()> work) { parked.push_back(work); };
    feedVersion = "0.2.0";
    updater.start(0);
    queue.runReady();
    updater.checkNow();
    ASSERT_EQ(parked.size(), 1u) << "one fetch at a time";
    parked[0]();
    queue.runReady();
    ASSERT_EQ(userResults.size(), 1u);
    EXPECT_EQ(userResults[0].outcome, Updater::CheckResult::Outcome::found);
    EXPECT_FALSE(updater.pendingVersion());
}

TEST_F(UpdaterTest, UpdaterOnlyModeLogsChecksAndQuitsAfter25Seconds) {
    int quits = 0;
    updater.runUpdaterOnly([&] { ++quits; });
    EXPECT_TRUE(log.contains("Pivorel: --updater-only 版本 0.1.0"));
    queue.runReady();
    EXPECT_EQ(fetches, 1);
    queue.advance(24);
    EXPECT_EQ(quits, 0);
    queue.advance(1);
    EXPECT_EQ(quits, 1);
}
