#include "BrisendoKit/Support/XdgDirs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

TEST(XdgDirs, VariablesCountOnlyWhenAbsolute) {
    std::map<std::string, std::optional<std::string>> saved;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS",
                             "XDG_CONFIG_DIRS", "XDG_RUNTIME_DIR"}) {
        const char* v = std::getenv(name);
        saved[name] = v ? std::optional<std::string>(v) : std::nullopt;
    }
    test::TempDir dir;
    setenv("HOME", dir.path().c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/dir", 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("XDG_DATA_DIRS", "/opt/a::relative:/opt/b/", 1);
    setenv("XDG_CONFIG_DIRS", "", 1);
    setenv("XDG_RUNTIME_DIR", "run", 1);
    EXPECT_EQ(XdgDirs::dataHome(), dir.path() / ".local/share");
    EXPECT_EQ(XdgDirs::configHome(), dir.path() / ".config");
    EXPECT_EQ(XdgDirs::dataDirs(), (std::vector<fs::path>{"/opt/a", "/opt/b/"}));
    EXPECT_EQ(XdgDirs::configDirs(), std::vector<fs::path>{"/etc/xdg"});
    EXPECT_EQ(XdgDirs::runtimeDir(), std::nullopt);

    setenv("XDG_CONFIG_HOME", "/nonexistent/xdg", 1);
    setenv("XDG_RUNTIME_DIR", "/run/user/1", 1);
    EXPECT_EQ(XdgDirs::configHome(), fs::path("/nonexistent/xdg"));
    EXPECT_EQ(XdgDirs::runtimeDir(), fs::path("/run/user/1"));

    for (const auto& [name, value] : saved) {
        value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
}
