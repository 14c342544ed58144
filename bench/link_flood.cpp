// Inbound links under load, against the real program on a private display: four senders
// hand select links over the instance socket for five seconds, while the program is killed
// with SIGKILL and started again range(0) times. Counters: acknowledged (answered "ok"),
// busy, failed (no answer: the program was being killed), stored (rows of the flood in the
// history), lost (acknowledged but not stored: must stay 0) and rss_mb at the end. Without
// kills, escape_ms: mid-flood, a link opens the panel, the pointer goes into it and Escape
// is pressed; the time until the program logs the panel closed. Needs the test fixtures
// and the binary's path; built as a stub without them.
#if __has_include("XSession.h") && defined(PIVOREL_BINARY)

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Pivorel/WindowTest.h"
#include "ProcessMemory.h"
#include "TempDir.h"
#include "XSession.h"

namespace {

using pivorel::bench::residentMB;

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using pivorel::test::XSession;

// A socket connected to the program's, or -1.
int connectTo(const fs::path& socket) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

// The answer to one link, or "" when the program did not answer.
std::string handOver(const fs::path& socket, const std::string& link) {
    const int fd = connectTo(socket);
    std::string reply;
    if (fd >= 0) {
        const std::string line = link + "\n";
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size())) {
            char buf[64];
            ssize_t n;
            while (reply.find('\n') == std::string::npos &&
                   (n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
                reply.append(buf, std::size_t(n));
            }
        }
        ::close(fd);
    }
    return reply;
}

// Starts the program and waits (up to 30 s) until its socket takes connections.
pid_t startProgram(XSession& x, const fs::path& home, const fs::path& socket) {
    const pid_t pid = x.spawn({PIVOREL_BINARY, "--no-keychain-migration", "--no-permission-guide"},
                              pivorel::test::programEnv(home, {{"PIVOREL_LOG_STDERR", "1"}}));
    for (int i = 0; i < 600; ++i) {
        // Closed without a word: a liveness probe, not a link.
        if (const int fd = connectTo(socket); fd >= 0) {
            ::close(fd);
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    return pid;
}

std::size_t occurrences(const fs::path& file, const std::string& text) {
    std::ifstream in(file);
    const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t n = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
}

// Opens the panel through a link, points at it and presses Escape: milliseconds until the
// panel is closed, or -1.
double escapeLatency(XSession& x, const fs::path& socket) {
    if (handOver(socket, "pivorel://select?text=escape-probe") != "ok\n") return -1;
    const auto panel = x.waitForWindow("pivorel", 5s);
    if (!panel) return -1;
    const auto g = x.windowGeometry(*panel);
    // Relative: an absolute move warps the pointer, which no raw motion reports.
    x.xdotool({"mousemove", std::to_string(g[0] + g[2] / 2), std::to_string(g[1] + 12),
               "mousemove_relative", "--", "3", "3"});
    std::this_thread::sleep_for(500ms);  // the panel takes the keyboard once pointed at
    const std::string closed = "面板关闭 reason=esc";
    const auto before = occurrences(x.logPath(), closed);
    const auto start = std::chrono::steady_clock::now();
    x.xdotool({"key", "Escape"});
    while (occurrences(x.logPath(), closed) == before) {
        if (std::chrono::steady_clock::now() - start > 30s) return -1;
        std::this_thread::sleep_for(2ms);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

long long storedRows(const fs::path& db) {
    sqlite3* h = nullptr;
    long long n = -1;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, "SELECT count(*) FROM selections WHERE source = 'flood'", -1, &st,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            n = sqlite3_column_int64(st, 0);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return n;
}

void BM_LinkFlood(benchmark::State& state) {
    auto& x = XSession::shared();
    if (!x.ok()) {
        state.SkipWithError(x.error().c_str());
        return;
    }
    const int kills = int(state.range(0));
    for (auto _ : state) {
        pivorel::test::TempDir home;
        const fs::path socket = home.path() / "run" / "pivorel" / "instance.sock";
        pid_t pid = startProgram(x, home.path(), socket);
        std::atomic<long long> acknowledged{0}, busy{0}, failed{0};
        std::atomic<bool> flooding{true};
        std::vector<std::thread> senders;
        for (int k = 0; k < 4; ++k) {
            senders.emplace_back([&, k] {
                for (int i = 0; flooding; ++i) {
                    const auto reply =
                        handOver(socket, "pivorel://select?dry=1&src=flood&text=t" +
                                             std::to_string(k) + "-" + std::to_string(i));
                    if (reply == "ok\n") {
                        ++acknowledged;
                    } else if (reply == "busy\n") {
                        ++busy;
                    } else {
                        ++failed;
                        std::this_thread::sleep_for(20ms);
                    }
                }
            });
        }
        for (int n = 0; n < kills; ++n) {
            std::this_thread::sleep_for(5000ms / (kills + 1));
            ::kill(pid, SIGKILL);
            x.terminate(pid);
            pid = startProgram(x, home.path(), socket);
        }
        if (kills == 0) {
            std::this_thread::sleep_for(2000ms);
            state.counters["escape_ms"] = escapeLatency(x, socket);
        }
        std::this_thread::sleep_for(5000ms / (kills + 1) - (kills == 0 ? 2000ms : 0ms));
        flooding = false;
        for (auto& t : senders) t.join();
        state.counters["rss_mb"] = residentMB(pid);
        x.terminate(pid);
        const long long stored = storedRows(home.path() / "data" / "Pivorel" / "pivorel.sqlite");
        if (stored < 0) {
            state.SkipWithError("the history could not be read: did the program start?");
            return;
        }
        state.counters["acknowledged"] = double(acknowledged);
        state.counters["busy"] = double(busy);
        state.counters["failed"] = double(failed);
        state.counters["stored"] = double(stored);
        state.counters["lost"] = double(std::max(0LL, acknowledged - stored));
    }
}
BENCHMARK(BM_LinkFlood)->Arg(0)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

#else
int main() {
    return 0;
}
#endif
