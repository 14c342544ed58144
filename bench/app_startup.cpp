// The program's start: from the process start to its tray icon and input monitors in place
// (the "启动完成" line it logs once start-up is through), and what it keeps resident when
// idle. Runs the real binary under Xvfb with openbox and trayer as the tray, in a throw-away
// home. Needs the test fixtures and the binary's path; built as a stub without them.
#if __has_include("XSession.h") && defined(PIVOREL_BINARY)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ProcessMemory.h"
#include "TempDir.h"
#include "XSession.h"

extern char** environ;

namespace {

using pivorel::bench::residentMB;

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Started {
    pid_t pid = -1;
    int errFd = -1;
    bool ready = false;
};

// Starts the binary with its log on a pipe and waits for the line that ends start-up.
Started start(const pivorel::test::TempDir& home, const std::string& display) {
    Started s;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return s;
    // Everything the child needs is made before the fork.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("XDG_", 0) != 0) env.push_back(entry);
    }
    env.push_back("DISPLAY=" + display);
    env.push_back("PIVOREL_LOG_STDERR=1");
    env.push_back("XDG_CONFIG_HOME=" + (home.path() / "config").string());
    env.push_back("XDG_DATA_HOME=" + (home.path() / "data").string());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    s.pid = ::fork();
    if (s.pid == 0) {
        ::dup2(fds[1], 2);
        ::execle(PIVOREL_BINARY, PIVOREL_BINARY, "--no-keychain-migration", "--no-permission-guide",
                 static_cast<char*>(nullptr), envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    s.errFd = fds[0];
    std::string log;
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline && log.find("Pivorel: 启动完成") == std::string::npos) {
        pollfd p{s.errFd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(s.errFd, buf, sizeof buf);
        if (n <= 0) break;
        log.append(buf, static_cast<std::size_t>(n));
    }
    s.ready = log.find("Pivorel: 启动完成 托盘=有") != std::string::npos;
    return s;
}

void stop(Started& s) {
    if (s.pid > 0) {
        ::kill(s.pid, SIGTERM);
        ::waitpid(s.pid, nullptr, 0);
    }
    if (s.errFd >= 0) ::close(s.errFd);
    s = {};
}

struct Session {
    pivorel::test::XSession* x = &pivorel::test::XSession::shared();
    std::string error;
    Session() {
        if (!x->ok()) {
            error = x->error();
            return;
        }
        if (x->spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                      "--height", "24"}) <= 0 ||
            !x->waitForWindow("trayer")) {
            error = "trayer did not start";
        }
    }
};

void BM_ProcessStartToTrayAndMonitors(benchmark::State& state) {
    static Session session;
    if (!session.error.empty()) {
        state.SkipWithError(session.error.c_str());
        return;
    }
    pivorel::test::TempDir home;
    // The first start creates the database and settings; later ones open them, as a login does.
    auto first = start(home, session.x->display());
    const bool firstReady = first.ready;
    std::this_thread::sleep_for(1s);
    state.counters["idle_rss_MB"] = residentMB(first.pid);
    stop(first);
    if (!firstReady) {
        state.SkipWithError("no start-up line with a tray");
        return;
    }
    for (auto _ : state) {
        const auto began = Clock::now();
        auto s = start(home, session.x->display());
        const auto ended = Clock::now();
        const bool ok = s.ready;
        stop(s);
        if (!ok) {
            state.SkipWithError("no start-up line with a tray");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(ended - began).count());
    }
}
BENCHMARK(BM_ProcessStartToTrayAndMonitors)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace

BENCHMARK_MAIN();

#else

#include <cstdio>

int main() {
    std::puts("bench_app_startup: built without the test fixtures or PIVOREL_BINARY");
    return 0;
}

#endif
