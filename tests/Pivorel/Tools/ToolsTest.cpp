// The command-line switches, run as the user runs them: the real program in a process of
// its own.
#include <gtest/gtest.h>

#include <fstream>

#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Tools/CommandLine.h"
#include "Pivorel/Tools/DesktopEntryInstall.h"
#include "Pivorel/WindowTest.h"
#include "TempDir.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The program's output, standard error after standard output.
Ran run(const std::string& args, const std::string& env = "") {
    auto r = runShell("env -u PIVOREL_TEST_RUN " + env + " " + PIVOREL_BINARY + " " + args);
    r.out += r.err;
    return r;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

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

TEST(CommandLine, AcceptsKnownSwitchesAndOneLinkOnly) {
    auto cl = CommandLine::parse({"--help"});
    ASSERT_TRUE(cl);
    EXPECT_TRUE(cl->has("--help"));
    cl = CommandLine::parse({"pivorel://select?text=hi"});
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->link, "pivorel://select?text=hi");
    EXPECT_TRUE(CommandLine::parse({"BRISENDO://close"}));
    // A probe of no known kind is a normal start.
    cl = CommandLine::parse({"--permission-probe", "bogus", "--no-permission-guide"});
    ASSERT_TRUE(cl);
    EXPECT_TRUE(cl->has("--no-permission-guide"));
    cl = CommandLine::parse({"--frobnicate"});
    ASSERT_FALSE(cl);
    EXPECT_TRUE(has(cl.error(), "--frobnicate"));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"hello"}, {"https://example.com"}, {"pivorel://a", "pivorel://b"}})
        EXPECT_FALSE(CommandLine::parse(args)) << args[0];

    const auto r = run("--no-such-switch");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.out, "usage: pivorel"));
    EXPECT_EQ(run("--help").status, 0);
}

TEST(CommandLine, L10nProbePrintsOneLineInTheForcedLanguage) {
    // Once the desktop file is installed, its localized name is the display name.
    TempDir data;
    fs::create_directories(data.path() / "applications");
    std::ofstream(data.path() / "applications" / "pivorel.desktop")
        << "[Desktop Entry]\nType=Application\nName=Pivorel\nName[ja]=ピボレル\nExec=pivorel\n";
    const auto r =
        run("--l10n-probe", "PIVOREL_FORCE_LANG=ja XDG_DATA_HOME=" + data.path().string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("language=ja copy=コピー ask=", 0), 0u) << r.out;
    EXPECT_TRUE(has(r.out, " display=ピボレル reminders=-")) << r.out;
}

TEST(AskSelftest, BinaryReadsTheSettingsAndSaysWhenNoKeyIsStored) {
    // A remote address (never contacted): only a model on this machine goes without a key.
    const std::string remote = "http://192.0.2.1/v1";
    TempDir dir;
    std::ofstream(dir.path() / "com.morvale.pivorel.json")
        << R"({"llmBaseURL": ")" << remote << R"(", "llmModel": "test-model"})";
    // A session bus that does not exist: the secret store answers "nothing" at once.
    const auto r =
        runShell("env -u PIVOREL_TEST_RUN PIVOREL_FORCE_LANG=zh-Hans XDG_CONFIG_HOME=" +
                 dir.path().string() + " DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent " +
                 std::string(PIVOREL_BINARY) + " --ask-selftest");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ask-selftest: base=" + remote +
                         " model=test-model key-in-keychain=false\n"
                         "ask-selftest: ERROR 还没有模型密钥：托盘 → 设置… 里填入 API Key\n");
}

TEST(PermissionProbe, TheProgramAnswersWhetherAnXInputDisplayIsReachable) {
    // The program run as the guide runs it, with `display` as its DISPLAY (none when empty).
    const auto probe = [](const std::string& kind, const std::string& display) {
        std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
        if (!display.empty()) argv.push_back("DISPLAY=" + display);
        argv.insert(argv.end(), {PIVOREL_BINARY, "--permission-probe", kind});
        return ChildProcess::run(argv, 20);
    };
    const auto none = probe("accessibility", "");
    EXPECT_EQ(none.exitStatus, 0);
    EXPECT_EQ(none.output, "0\n");
    EXPECT_EQ(probe("accessibility", ":9876").output, "0\n") << "a display nobody serves";

    XSession x(XSessionOptions{{"640x480x24"}, false, {}, false});
    if (!x.ok()) GTEST_SKIP() << x.error();
    const auto reachable = probe("accessibility", x.display());
    EXPECT_EQ(reachable.exitStatus, 0);
    EXPECT_EQ(reachable.output, "1\n");
}

TEST(SelfTests, BarSelftestPassesEveryCheckAgainstTheRealWindows) {
    if (!XSession::shared().ok()) GTEST_SKIP() << XSession::shared().error();
    TempDir home;
    const auto r = runSelftest("--bar-selftest", home);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "\nbar-selftest: ALL PASS\n")) << r.out;
    EXPECT_FALSE(has(r.out, "FAIL")) << r.out;
}

// A build from source becomes the handler of both link schemes for this user only.
TEST(DesktopEntryInstall, TheProgramRegistersItselfForItsLinksInTheUsersDataDirectory) {
    EXPECT_TRUE(has(desktopEntryText("/opt/my apps/100%/pivorel"),
                    "\nExec=\"/opt/my apps/100%%/pivorel\" %u\n"));
    TempDir home;
    const auto data = home.path() / "data";
    const std::vector<std::string> env{"env", "HOME=" + home.path().string(),
                                       "XDG_DATA_HOME=" + data.string(),
                                       "XDG_CONFIG_HOME=" + (home.path() / "config").string()};
    auto argv = env;
    argv.insert(argv.end(), {PIVOREL_BINARY, "--install-desktop-entry"});
    const auto installed = ChildProcess::run(argv, 30);
    ASSERT_EQ(installed.exitStatus, 0) << installed.output;
    const auto file = data / "applications" / "pivorel.desktop";
    const std::string entry = readText(file);
    EXPECT_TRUE(has(entry, "\nExec=" + fs::canonical(PIVOREL_BINARY).string() + " %u\n")) << entry;
    EXPECT_TRUE(has(entry, "MimeType=x-scheme-handler/pivorel;x-scheme-handler/brisendo;"));
    if (ChildProcess::findInPath("xdg-mime").empty()) return;
    for (const char* scheme : {"x-scheme-handler/pivorel", "x-scheme-handler/brisendo"}) {
        argv = env;
        argv.insert(argv.end(), {"xdg-mime", "query", "default", scheme});
        EXPECT_EQ(ChildProcess::run(argv, 10).output, "pivorel.desktop\n") << scheme;
    }
}
