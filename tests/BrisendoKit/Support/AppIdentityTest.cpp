#include "BrisendoKit/Support/AppIdentity.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

TEST(AppIdentity, SupportDirectoryUnderABaseIsCreatedOnce) {
    test::TempDir dir;
    const fs::path first = AppIdentity::supportDirectory(dir.path());
    EXPECT_EQ(first, dir.path() / "Pivorel");
    EXPECT_TRUE(fs::is_directory(first));
    EXPECT_EQ(AppIdentity::supportDirectory(dir.path()), first);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A base that cannot hold a directory still gives the path; the failure shows later.
    std::ofstream(dir.path() / "plain") << "x";
    EXPECT_EQ(AppIdentity::supportDirectory(dir.path() / "plain"), dir.path() / "plain/Pivorel");
}

TEST(AppIdentity, DirectoriesFollowTheXDGVariables) {
    test::TempDir dir;
    const auto saved = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto restore = [](const char* name, const std::optional<std::string>& v) {
        v ? setenv(name, v->c_str(), 1) : unsetenv(name);
    };
    const auto home = saved("HOME"), data = saved("XDG_DATA_HOME"),
               config = saved("XDG_CONFIG_HOME");

    setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    EXPECT_EQ(AppIdentity::supportDirectory(), dir.path() / "data/Pivorel");
    EXPECT_TRUE(fs::is_directory(dir.path() / "data/Pivorel"));

    setenv("HOME", dir.path().c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/dir", 1);  // invalid, ignored
    EXPECT_EQ(AppIdentity::dataDirectory(), dir.path() / ".local/share");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(AppIdentity::configDirectory(), dir.path() / ".config");
    setenv("XDG_CONFIG_HOME", "/nonexistent/xdg", 1);
    EXPECT_EQ(AppIdentity::configDirectory(), fs::path("/nonexistent/xdg"));
    EXPECT_FALSE(fs::exists("/nonexistent/xdg"));

    restore("HOME", home);
    restore("XDG_DATA_HOME", data);
    restore("XDG_CONFIG_HOME", config);
}
