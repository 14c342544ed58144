#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/WindowTest.h"
#include "TempDir.h"
#include "XSession.h"

using namespace pivorel;
using namespace pivorel::test;
namespace fs = std::filesystem;

namespace {

// One integer from the database, or -1 while it cannot be read yet.
long long count(const fs::path& db, const char* sql) {
    sqlite3* h = nullptr;
    long long n = -1;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(h, 1000);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            n = sqlite3_column_int64(st, 0);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return n;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

}  // namespace

// Two real processes: the running program and a second `pivorel <link>` that hands its
// link over through the per-user socket and exits at once.
TEST(LinkForwarding, ASecondProcessHandsItsLinksToTheRunningOne) {
    XSession x(XSessionOptions{{"1280x800x24"}, false, {}, false});
    if (!x.ok()) GTEST_SKIP() << x.error();
    TempDir home;
    const auto env =
        programEnv(home.path(),
                   {{"HOME", home.path().string()},
                    {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home.path() / "no-bus").string()},
                    {"PIVOREL_APPCAST_URL", "http://127.0.0.1:9/appcast.xml"},
                    {"QT_QPA_PLATFORM", "xcb"}});
    ASSERT_GT(x.spawn({PIVOREL_BINARY, "--no-permission-guide", "--no-keychain-migration"}, env),
              0);
    const fs::path socket = home.path() / "run" / "pivorel" / "instance.sock";
    ASSERT_TRUE(waitFor([&] { return fs::exists(socket); }, std::chrono::seconds(30)))
        << "the program did not start listening; see " << x.logPath();

    std::vector<std::string> second{"env"};
    for (const auto& [k, v] : env) second.push_back(k + "=" + v);
    second.insert(second.end(), {"DISPLAY=" + x.display(), PIVOREL_BINARY,
                                 "pivorel://select?text=%E4%BD%A0%E5%A5%BD%20world&dry=1"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ChildProcess::run(second, 20).exitStatus, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const char* sql =
        "SELECT COUNT(*) FROM selections WHERE text = '你好 world' AND dry = 1 AND "
        "source = 'popclip'";
    EXPECT_TRUE(
        waitFor([&] { return count(home.path() / "data/Pivorel/pivorel.sqlite", sql) == 1; },
                std::chrono::seconds(10)));
}
