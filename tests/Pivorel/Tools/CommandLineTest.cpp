#include "Pivorel/Tools/CommandLine.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using pivorel::CommandLine;

TEST(CommandLine, AcceptsKnownSwitchesAndOneLinkOnly) {
    auto cl = CommandLine::parse({"--help"});
    ASSERT_TRUE(cl);
    EXPECT_TRUE(cl->has("--help"));
    cl = CommandLine::parse({"pivorel://select?text=hi"});
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->link, "pivorel://select?text=hi");
    EXPECT_TRUE(CommandLine::parse({"BRISENDO://close"}));

    cl = CommandLine::parse({"--frobnicate"});
    ASSERT_FALSE(cl);
    EXPECT_NE(cl.error().find("--frobnicate"), std::string::npos);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"hello"}, {"https://example.com"}, {"pivorel://a", "pivorel://b"}})
        EXPECT_FALSE(CommandLine::parse(args)) << args[0];
}

namespace {
// The program's output, standard error after standard output.
pivorel::test::Ran run(const std::string& args, const std::string& env = "") {
    auto r = pivorel::test::runShell("env -u PIVOREL_TEST_RUN " + env + " " +
                                     std::string(PIVOREL_BINARY) + " " + args);
    r.out += r.err;
    return r;
}
}  // namespace

TEST(CommandLine, BinaryExitsTwoWithUsageOnUnknownSwitch) {
    const auto r = run("--no-such-switch");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("usage: pivorel"), std::string::npos);
    EXPECT_EQ(run("--help").status, 0);
}

TEST(CommandLine, L10nProbePrintsOneLineInTheForcedLanguage) {
    auto r = run("--l10n-probe");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("language=", 0), 0u);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    r = run("--l10n-probe", "PIVOREL_FORCE_LANG=ja");
    EXPECT_EQ(r.out.rfind("language=ja copy=コピー ask=", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" display=- reminders=-"), std::string::npos);

    // Once the desktop file is installed, its localized name is the display name.
    pivorel::test::TempDir data;
    std::filesystem::create_directories(data.path() / "applications");
    std::ofstream(data.path() / "applications" / "pivorel.desktop")
        << "[Desktop Entry]\nType=Application\nName=Pivorel\nName[ja]=ピボレル\nExec=pivorel\n";
    r = run("--l10n-probe", "PIVOREL_FORCE_LANG=ja XDG_DATA_HOME=" + data.path().string());
    EXPECT_NE(r.out.find(" display=ピボレル reminders=-"), std::string::npos) << r.out;
}
