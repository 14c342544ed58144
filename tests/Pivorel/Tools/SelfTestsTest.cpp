#include "Pivorel/Tools/SelfTests.h"

#include <gtest/gtest.h>
#include <string>

#include "Pivorel/WindowTest.h"
#include "TempDir.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

// The binary's self test with an xterm in front, as a user's application would have it;
// its temporary files under `home`. No status when there is no display.
XSession::Output runSelftest(const std::string& flag, const TempDir& home) {
    auto& x = XSession::shared();
    if (!x.ok() || x.spawn({"xterm", "-class", "SelftestXterm", "-geometry", "60x10+600+500"}) <= 0)
        return {};
    const auto window = x.waitForWindow("SelftestXterm");
    if (!window || !x.xdotool({"windowactivate", "--sync", std::to_string(*window)})) return {};
    return x.run({PIVOREL_BINARY, flag}, 30s,
                 programEnv(home.path(),
                            {{"PIVOREL_FORCE_LANG", "zh-Hans"}, {"TMPDIR", home.path().string()}}));
}

}  // namespace

TEST(SelfTests, BarSelftestPassesEveryCheckAgainstTheRealWindows) {
    if (!XSession::shared().ok()) GTEST_SKIP() << XSession::shared().error();
    TempDir home;
    const auto run = runSelftest("--bar-selftest", home);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\nbar-selftest: ALL PASS\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("FAIL"), std::string::npos) << run.out;
    // Every check was made: one line each.
    std::size_t passes = 0;
    for (auto at = run.out.find("bar-selftest: PASS "); at != std::string::npos;
         at = run.out.find("bar-selftest: PASS ", at + 1)) {
        ++passes;
    }
    EXPECT_EQ(passes, 14u) << run.out;
    EXPECT_NE(run.out.find("bar-selftest: summary app=com.apple.Terminal shown=0 misses=1\n"),
              std::string::npos)
        << run.out;
    // The database stays where the line says, in the temporary directory.
    const auto kept =
        run.out.find("bar-selftest: db kept at " + home.path().string() + "/pivorel-barselftest-");
    EXPECT_NE(kept, std::string::npos) << run.out;
}

TEST(SelfTests, PanelSelftestReportsOnePanelAboveTheOthers) {
    if (!XSession::shared().ok()) GTEST_SKIP() << XSession::shared().error();
    TempDir home;
    const auto run = runSelftest("--panel-selftest", home);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("selftest: panel windows=1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("selftest: layer=101 w="), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" onscreen=true\n"), std::string::npos) << run.out;
}

TEST(SelfTests, WithoutADisplayTheyFailAtOnce) {
    const auto r = runShell("env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(PIVOREL_BINARY) +
                            " --bar-selftest");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "bar-selftest: no X display\n");
}
