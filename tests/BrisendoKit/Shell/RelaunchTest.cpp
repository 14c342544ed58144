#include <gtest/gtest.h>

#include <sys/stat.h>

#include <tuple>

#include "BrisendoKit/Shell/RelaunchContinuation.h"
#include "BrisendoKit/Shell/Relauncher.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
namespace fs = std::filesystem;

namespace {

using Pending = RelaunchContinuation::Pending;

Pending pendingAt(double savedAt) {
    return Pending{"accessibility", "barReady", {}, savedAt};
}

class FakeRelaunch final : public RelaunchPlatform {
  public:
    bool installed = true;
    std::vector<fs::path> spawned;
    int terminated = 0;

    fs::path executablePath() override { return "/usr/bin/pivorel"; }
    bool isInstalledExecutable(const fs::path&) override { return installed; }
    Result<Done, std::string> spawnRelaunch(const fs::path& path) override {
        spawned.push_back(path);
        return Done{};
    }
    void terminate() override { ++terminated; }
};

class Relaunch : public ::testing::Test {
  protected:
    TempDir dir;
    fs::path file = dir.path() / "pending_permission.json";
    TimePoint now = fromUnixSeconds(1'750'000'000);
    UserDefaults defaults{dir.path() / "defaults.json"};
    VirtualClock clock;
    ManualMainQueue queue{clock};
    FakeRelaunch platform;
    Relauncher relauncher{platform, defaults, clock, queue};
    LogCapture log;
};

}  // namespace

TEST_F(Relaunch, BadContinuationFilesGiveNothingAndAreRemoved) {
    const std::string fresh = std::to_string(toUnixSeconds(now));
    const auto json = [](std::string kind, std::string payload, std::string savedAt) {
        return R"({"kind":")" + kind + R"(","action":"barReady","payload":)" + payload +
               (savedAt.empty() ? "" : R"(,"savedAt":)" + savedAt) + "}";
    };
    const std::vector<std::string> bad = {"not json",
                                          "[]",
                                          json("accessibility", R"({"n":1})", fresh),
                                          json("camera", "{}", fresh),
                                          json("accessibility", "{}", "1e999"),
                                          std::string(RelaunchContinuation::maxFileBytes + 1, ' ')};
    for (const auto& bytes : bad) {
        ASSERT_TRUE(fileio::writeFileAtomically(file, bytes));
        EXPECT_FALSE(RelaunchContinuation::takePending(120, file, now)) << bytes.substr(0, 80);
        EXPECT_FALSE(fs::exists(file)) << bytes.substr(0, 80);
    }
    EXPECT_TRUE(log.contains("pending permission unreadable, dropped"));

    // A FIFO must not hang start-up; a link is removed, never its target.
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_FALSE(RelaunchContinuation::takePending(120, file, now));
    EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
    const auto target = dir.path() / "target.json";
    RelaunchContinuation::save(pendingAt(toUnixSeconds(now)), target);
    fs::create_symlink(target, file);
    EXPECT_TRUE(RelaunchContinuation::takePending(120, file, now));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
    fs::create_directories(file / "child");  // a directory in the way is left alone
    EXPECT_FALSE(RelaunchContinuation::takePending(120, file, now));
    EXPECT_TRUE(fs::is_directory(file / "child"));
}

TEST_F(Relaunch, RefusesLoopsAndNonInstalledPrograms) {
    ASSERT_TRUE(relauncher.relaunch("accessibility granted", 300));
    EXPECT_EQ(platform.spawned, (std::vector<fs::path>{"/usr/bin/pivorel"}));
    EXPECT_EQ(defaults.doubleValue(Relauncher::lastRelaunchKey), toUnixSeconds(clock.now()));
    queue.advance(Relauncher::terminateDelay);
    EXPECT_EQ(platform.terminated, 1);

    queue.advance(100);
    EXPECT_FALSE(relauncher.relaunch("again", 300));
    EXPECT_TRUE(log.contains("relaunch skipped (already relaunched 100s ago): again"));
    queue.advance(201);
    EXPECT_TRUE(relauncher.relaunch("later", 300));

    // A stamp from a clock that ran far ahead does not block for ever.
    defaults.set(Relauncher::lastRelaunchKey, toUnixSeconds(clock.now()) + 86400);
    EXPECT_TRUE(relauncher.relaunch("clock", 300));

    queue.advance(1000);
    platform.installed = false;
    EXPECT_FALSE(relauncher.relaunch("x", 300));
    EXPECT_TRUE(log.contains("relaunch skipped (not an installed executable): /usr/bin/pivorel"));
}
