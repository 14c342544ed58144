#include <gtest/gtest.h>

#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/LinuxPermissions.h"
#include "Pivorel/Tools/PermissionProbe.h"
#include "XSession.h"

using namespace pivorel;

namespace {

// The program run as the guide runs it, with `display` as its DISPLAY (none when empty).
ChildProcess::Outcome probe(const std::string& kind, const std::string& display) {
    std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
    if (!display.empty()) argv.push_back("DISPLAY=" + display);
    argv.insert(argv.end(), {PIVOREL_BINARY, "--permission-probe", kind});
    return ChildProcess::run(argv, 20);
}

}  // namespace

TEST(PermissionProbe, OnlyASwitchFollowedByAKnownKindIsAProbe) {
    EXPECT_TRUE(isPermissionProbe({"--permission-probe", "accessibility"}));
    EXPECT_FALSE(isPermissionProbe({"--permission-probe", "bogus"}));
    EXPECT_FALSE(isPermissionProbe({"pivorel://close"}));
    EXPECT_EQ(runPermissionProbe({"--permission-probe", "bogus"}), -1);
}

TEST(PermissionProbe, TheProgramAnswersWhetherAnXInputDisplayIsReachable) {
    auto none = probe("accessibility", "");
    EXPECT_EQ(none.exitStatus, 0);
    EXPECT_EQ(none.output, "0\n");
    EXPECT_EQ(probe("accessibility", ":9876").output, "0\n") << "a display nobody serves";

    pivorel::test::XSession x(pivorel::test::XSessionOptions{{"640x480x24"}, false, {}, false});
    if (!x.ok()) GTEST_SKIP() << x.error();
    auto reachable = probe("accessibility", x.display());
    EXPECT_EQ(reachable.exitStatus, 0);
    EXPECT_EQ(reachable.output, "1\n");
    EXPECT_EQ(probe("inputMonitoring", x.display()).output, "1\n");
    EXPECT_EQ(probe("systemAudioCapture", x.display()).output, "0\n");

    // The guide's live check through the real program.
    const char* saved = std::getenv("DISPLAY");
    const std::string keep = saved ? saved : "";
    ::setenv("DISPLAY", x.display().c_str(), 1);
    EXPECT_EQ(LinuxPermissions(PIVOREL_BINARY).checkLive(PermissionKind::accessibility, 10), true);
    EXPECT_TRUE(LinuxPermissions().checkInProcess(PermissionKind::accessibility));
    ::unsetenv("DISPLAY");
    EXPECT_FALSE(LinuxPermissions().checkInProcess(PermissionKind::accessibility));
    if (saved) ::setenv("DISPLAY", keep.c_str(), 1);
}
