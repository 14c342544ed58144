#include "Pivorel/Linux/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace pivorel {

namespace {

using Clock = std::chrono::steady_clock;

struct Spawned {
    pid_t pid = -1;
    std::string error;
};

// posix_spawn with stdin and stderr on /dev/null, and stdout on `outFd` (or /dev/null).
Spawned spawn(const std::vector<std::string>& argv, int outFd, bool newSession) {
    Spawned result;
    if (argv.empty()) {
        result.error = "no program";
        return result;
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Signals this process ignores or blocks must not stay so in the child.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (newSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attr, flags);

    const int rc = posix_spawnp(&result.pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.pid = -1;
        result.error = std::strerror(rc);
    }
    return result;
}

// Waits for `pid` until `deadline`; the wait status, or nothing on time-out.
bool waitUntil(pid_t pid, Clock::time_point deadline, int& status) {
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) {
            // Reaped elsewhere (SIGCHLD ignored): the status is unknown, never a success.
            status = -1;
            return true;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

ChildProcess::Outcome ChildProcess::run(const std::vector<std::string>& argv, double timeoutSeconds,
                                        std::size_t maxOutput) {
    Outcome outcome;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.startError = std::strerror(errno);
        return outcome;
    }
    const Spawned child = spawn(argv, fds[1], false);
    ::close(fds[1]);
    if (child.pid < 0) {
        ::close(fds[0]);
        outcome.startError = child.error;
        return outcome;
    }
    outcome.started = true;

    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(std::max(0.0, timeoutSeconds)));
    bool eof = false;
    while (!eof) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buf[4096];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            eof = true;
            break;
        }
        const std::size_t room = maxOutput - std::min(maxOutput, outcome.output.size());
        outcome.output.append(buf, std::min(room, static_cast<std::size_t>(n)));
    }
    ::close(fds[0]);

    int status = 0;
    if (waitUntil(child.pid, eof ? deadline : Clock::now(), status)) {
        outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return outcome;
    }
    outcome.timedOut = true;
    ::kill(child.pid, SIGTERM);
    if (!waitUntil(child.pid, Clock::now() + std::chrono::milliseconds(200), status)) {
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, &status, 0);
    }
    return outcome;
}

Result<Done, std::string> ChildProcess::spawnDetached(const std::vector<std::string>& argv) {
    const Spawned child = spawn(argv, -1, true);
    if (child.pid < 0) return fail(child.error);
    std::thread([pid = child.pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return Done{};
}

Result<std::filesystem::path, std::string> ChildProcess::ownExecutable() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return fail(ec.message());
    return path;
}

std::string ChildProcess::findInPath(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace pivorel
