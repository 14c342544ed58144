#include "Pivorel/Tools/DesktopEntryInstall.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "Pivorel/Linux/ChildProcess.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;

// A build from source becomes the handler of both link schemes for this user only.
TEST(DesktopEntryInstall, TheProgramRegistersItselfForItsLinksInTheUsersDataDirectory) {
    TempDir home;
    const auto data = home.path() / "data";
    const auto config = home.path() / "config";
    const auto run = ChildProcess::run(
        {"env", "HOME=" + home.path().string(), "XDG_DATA_HOME=" + data.string(),
         "XDG_CONFIG_HOME=" + config.string(), PIVOREL_BINARY, "--install-desktop-entry"},
        30);
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    const auto file = data / "applications" / "pivorel.desktop";
    const std::string entry = readText(file);
    EXPECT_NE(entry.find("\nExec=" + std::filesystem::canonical(PIVOREL_BINARY).string() + " %u\n"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("MimeType=x-scheme-handler/pivorel;x-scheme-handler/brisendo;"),
              std::string::npos);

    if (!ChildProcess::findInPath("desktop-file-validate").empty()) {
        const auto valid = ChildProcess::run({"desktop-file-validate", file.string()}, 10);
        EXPECT_EQ(valid.exitStatus, 0) << valid.output;
    }
    if (ChildProcess::findInPath("xdg-mime").empty()) return;
    for (const char* scheme : {"x-scheme-handler/pivorel", "x-scheme-handler/brisendo"}) {
        const auto query = ChildProcess::run(
            {"env", "HOME=" + home.path().string(), "XDG_DATA_HOME=" + data.string(),
             "XDG_CONFIG_HOME=" + config.string(), "xdg-mime", "query", "default", scheme},
            10);
        EXPECT_EQ(query.output, "pivorel.desktop\n") << scheme;
    }
}

TEST(DesktopEntryInstall, PathsWithSpacesAndPercentSignsStayOneArgument) {
    const std::string entry = desktopEntryText("/opt/my apps/100%/pivorel");
    EXPECT_NE(entry.find("\nExec=\"/opt/my apps/100%%/pivorel\" %u\n"), std::string::npos) << entry;
}
