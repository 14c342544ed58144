#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pivorel::test {

// The display layout of an XSession.
struct XSessionOptions {
    // One "-screen N <geometry>" per entry.
    std::vector<std::string> screens{"1440x900x24"};
    // Joins the screens into one Xinerama screen.
    bool xinerama = false;
    // Monitors within screen 0 as RandR 1.5 reports them ("1440x900+0+0"; the first is the
    // primary). This is how Qt learns of several monitors on one X screen: it does not read
    // Xinerama while RandR is there.
    std::vector<std::string> monitors;
    bool windowManager = true;

    bool operator==(const XSessionOptions&) const = default;
};

// A private X display for tests: Xvfb on a display number the server picks itself (so
// parallel test processes never collide), openbox on it, and every client started through
// spawn(). All of them go away with the object, and with the test process if it dies.
//
// Qt binds to one display per process. Tests that use Qt take XSession::shared() BEFORE
// qtApp("xcb") (the session then outlives the QApplication); ctest runs each test in its
// own process, so a test may ask shared() for its own layout.
//
//     auto& x = XSession::shared();
//     if (!x.ok()) GTEST_SKIP() << x.error();
//     qtApp("xcb");
class XSession {
  public:
    using Options = XSessionOptions;

    XSession() : XSession(Options{}) {}
    explicit XSession(Options options) : options_(std::move(options)) { start(); }
    ~XSession() { stop(); }
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The process-wide session, started on first use with `options`, exported as DISPLAY.
    // A later call with other options answers a session that is not ok(): the process is
    // already bound to the first layout.
    static XSession& shared(const Options& options = Options{}) {
        static std::unique_ptr<XSession> first;
        static std::vector<std::unique_ptr<XSession>> refused;
        if (!first) {
            first = std::make_unique<XSession>(options);
            if (first->ok()) {
                ::setenv("DISPLAY", first->display().c_str(), 1);
                useOwnSessionBus();
            }
            ::unsetenv("WAYLAND_DISPLAY");
            return *first;
        }
        if (first->options_ == options) return *first;
        refused.push_back(std::unique_ptr<XSession>(new XSession(Refused{})));
        return *refused.back();
    }

    // A session bus of this process's own, exported before Qt first connects to one: the
    // accessibility bus it starts, the switch tests turn, and programs that serve every
    // display from one process (gnome-terminal) stay with this display. No keyring on it.
    static void useOwnSessionBus() {
        FILE* out = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        if (!out) return;
        char address[512] = {}, pid[32] = {};
        const bool read =
            std::fgets(address, sizeof address, out) && std::fgets(pid, sizeof pid, out);
        ::pclose(out);
        if (!read) return;
        std::string a(address);
        a.erase(a.find_last_not_of('\n') + 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", a.c_str(), 1);
        static const pid_t daemon = static_cast<pid_t>(std::atoi(pid));
        std::atexit([] { ::kill(daemon, SIGTERM); });
    }

    bool ok() const { return error_.empty(); }
    // Why the session is not usable (for GTEST_SKIP).
    const std::string& error() const { return error_; }
    // ":N"
    const std::string& display() const { return display_; }
    // Where the output of the server, the window manager and spawned clients goes.
    std::filesystem::path logPath() const { return dir_ / "session.log"; }

    // Starts a client on this display (stdout and stderr into the log), in its own process
    // group; killed at teardown. -1 when it could not be started.
    pid_t spawn(const std::vector<std::string>& argv,
                const std::map<std::string, std::string>& env = {}) {
        pid_t pid = startProcess(argv, env, -1);
        if (pid > 0) children_.push_back(pid);
        return pid;
    }

    // Stops one client started by spawn().
    void terminate(pid_t pid) {
        const auto it = std::find(children_.begin(), children_.end(), pid);
        if (it == children_.end()) return;
        children_.erase(it);
        stopProcess(pid);
    }

    struct Output {
        // The exit status; -1 when it did not start or ran past the limit.
        int status = -1;
        std::string out;
    };

    // Runs a command on this display to its end and collects its standard output.
    Output run(const std::vector<std::string>& argv,
               std::chrono::milliseconds limit = std::chrono::seconds(5),
               const std::map<std::string, std::string>& env = {}) {
        Output result;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return result;
        pid_t pid = startProcess(argv, env, fds[1]);
        ::close(fds[1]);
        const bool ended =
            pid > 0 && readUntil(fds[0], result.out, std::chrono::steady_clock::now() + limit);
        ::close(fds[0]);
        if (!ended) {
            if (pid > 0) stopProcess(pid);
            return result;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    // The first mapped window of a WM_CLASS class (xdotool's --class), waiting for it.
    std::optional<std::uint32_t> waitForWindow(
        const std::string& className, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            auto found = run({"xdotool", "search", "--onlyvisible", "--class", className});
            std::istringstream lines(found.out);
            std::string first;
            if (found.status == 0 && std::getline(lines, first) && !first.empty())
                return static_cast<std::uint32_t>(std::stoul(first));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return std::nullopt;
    }

    // Where a client window is on the root window: x, y, width, height (xwininfo, as
    // xdotool misplaces windows inside a window manager's frame).
    std::array<int, 4> windowGeometry(std::uint32_t window) {
        const auto out = run({"xwininfo", "-id", std::to_string(window)});
        std::array<int, 4> g{};
        std::istringstream lines(out.out);
        const std::pair<const char*, int> keys[] = {{"Absolute upper-left X:", 0},
                                                    {"Absolute upper-left Y:", 1},
                                                    {"Width:", 2},
                                                    {"Height:", 3}};
        for (std::string line; std::getline(lines, line);) {
            for (const auto& [key, index] : keys) {
                const auto at = line.find(key);
                if (at != std::string::npos) {
                    g[index] = std::atoi(line.c_str() + at + std::strlen(key));
                }
            }
        }
        return g;
    }

    // Shorthand for `xdotool <args...>`; true when it succeeded.
    bool xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        return run(args).status == 0;
    }

  private:
    struct Refused {};
    explicit XSession(Refused)
        : error_("this test needs its own display layout: run it alone (ctest does)") {}

    static bool onPath(const std::string& program) {
        const char* path = std::getenv("PATH");
        std::istringstream dirs(path ? path : "/usr/bin:/bin");
        std::string dir;
        while (std::getline(dirs, dir, ':')) {
            if (::access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) return true;
        }
        return false;
    }

    // Appends what `fd` gives to `out` until its end (or until `stop` has come, when given);
    // false when the deadline passes first or, waiting for `stop`, the writer goes away.
    static bool readUntil(int fd, std::string& out, std::chrono::steady_clock::time_point deadline,
                          char stop = 0) {
        char buffer[4096];
        while (!stop || out.find(stop) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) return !stop;
            out.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    void start() {
        if (!onPath("Xvfb")) {
            error_ = "Xvfb is not installed";
            return;
        }
        if (options_.windowManager && !onPath("openbox")) {
            error_ = "openbox is not installed";
            return;
        }
        std::string tmpl = (std::filesystem::temp_directory_path() / "pivorel-x-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) {
            error_ = "no temporary directory";
            return;
        }
        dir_ = tmpl;

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error_ = "no pipe";
            return;
        }
        // The server writes its display number to this descriptor once it accepts clients;
        // the child makes it the fixed descriptor 3 so the number can be put in argv now.
        std::vector<std::string> argv{"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset"};
        for (size_t i = 0; i < options_.screens.size(); ++i) {
            argv.insert(argv.end(), {"-screen", std::to_string(i), options_.screens[i]});
        }
        argv.push_back(options_.xinerama ? "+xinerama" : "-xinerama");
        server_ = startProcess(argv, {}, -1, fds[1]);
        ::close(fds[1]);
        std::string number;
        const bool announced =
            server_ > 0 &&
            readUntil(fds[0], number, std::chrono::steady_clock::now() + std::chrono::seconds(10),
                      '\n');
        ::close(fds[0]);
        if (!announced) {
            error_ = "Xvfb did not start (see " + logPath().string() + ")";
            return;
        }
        display_ = ":" + number.substr(0, number.find('\n'));
        if (!options_.monitors.empty() && !setMonitors()) {
            error_ = "the X server refused the monitor layout";
            return;
        }

        if (options_.windowManager) {
            windowManager_ = startProcess({"openbox", "--sm-disable"}, {}, -1);
            if (!waitForWindowManager()) {
                error_ = "openbox did not start (see " + logPath().string() + ")";
                return;
            }
        }
    }

    bool setMonitors() {
        xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
        auto* version =
            xcb_connection_has_error(c)
                ? nullptr
                : xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr);
        bool ok = version && (version->major_version > 1 || version->minor_version >= 5);
        std::free(version);
        if (!ok) {
            xcb_disconnect(c);
            return false;
        }
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        // The server's one output joins the first monitor; otherwise it would show up as a
        // monitor of its own, covering the whole screen.
        std::optional<xcb_randr_output_t> output;
        auto* resources = xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, root), nullptr);
        if (resources && xcb_randr_get_screen_resources_current_outputs_length(resources) > 0)
            output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
        std::free(resources);
        for (std::size_t i = 0; ok && i < options_.monitors.size(); ++i) {
            unsigned w = 0, h = 0;
            int x = 0, y = 0;
            if (std::sscanf(options_.monitors[i].c_str(), "%ux%u+%d+%d", &w, &h, &x, &y) != 4) {
                ok = false;
                break;
            }
            const std::string name = "PIVOREL-" + std::to_string(i);
            auto* atom = xcb_intern_atom_reply(
                c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()),
                nullptr);
            // xcb's own SetMonitor miscounts the length of a monitor with outputs, so the
            // request is put together here: the window, the monitor, its outputs.
            std::uint32_t payload[7] = {};
            const bool withOutput = i == 0 && output;
            // About 96 dots per inch.
            const xcb_randr_monitor_info_t info{atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE},
                                                i == 0,
                                                0,
                                                withOutput,
                                                int16_t(x),
                                                int16_t(y),
                                                uint16_t(w),
                                                uint16_t(h),
                                                w * 254 / 960,
                                                h * 254 / 960};
            std::memcpy(payload, &info, sizeof info);
            std::free(atom);
            if (withOutput) payload[6] = *output;
            xcb_randr_set_monitor_request_t header{};
            header.window = root;
            iovec parts[4];
            parts[2].iov_base = &header;
            parts[2].iov_len = sizeof header;
            parts[3].iov_base = payload;
            parts[3].iov_len = sizeof(xcb_randr_monitor_info_t) + 4u * withOutput;
            xcb_protocol_request_t request{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
            const xcb_void_cookie_t cookie{
                xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &request)};
            auto* error = xcb_request_check(c, cookie);
            ok = error == nullptr;
            std::free(error);
        }
        xcb_disconnect(c);
        return ok;
    }

    // openbox is ready once it has announced itself on the root window.
    bool waitForWindowManager() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            const auto out = run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).out;
            if (out.find("window id") != std::string::npos) return true;
            int status = 0;
            if (::waitpid(windowManager_, &status, WNOHANG) == windowManager_) {
                windowManager_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    void stop() {
        for (auto it = children_.rbegin(); it != children_.rend(); ++it) stopProcess(*it);
        children_.clear();
        if (windowManager_ > 0) stopProcess(windowManager_);
        if (server_ > 0) stopProcess(server_);
        windowManager_ = server_ = -1;
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }

    // SIGTERM to the process group, SIGKILL after a second.
    static void stopProcess(pid_t pid) {
        ::kill(-pid, SIGTERM);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(-pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // fork/exec with only async-signal-safe calls in the child: everything it needs is
    // prepared before the fork. `outFd` becomes the child's stdout when given; `fd3` its
    // descriptor 3.
    pid_t startProcess(const std::vector<std::string>& argv,
                       const std::map<std::string, std::string>& env, int outFd,
                       int fd3 = -1) const {
        std::vector<std::string> envStrings;
        for (char** e = environ; *e; ++e) {
            std::string entry(*e);
            std::string key = entry.substr(0, entry.find('='));
            if (key == "DISPLAY" || key == "WAYLAND_DISPLAY" || env.count(key)) continue;
            envStrings.push_back(entry);
        }
        if (!display_.empty()) envStrings.push_back("DISPLAY=" + display_);
        for (const auto& [key, value] : env) envStrings.push_back(key + "=" + value);
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (auto& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string log = logPath().string();
        pid_t parent = ::getpid();

        pid_t pid = ::fork();
        if (pid != 0) return pid;
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (logFd < 0) logFd = ::open("/dev/null", O_WRONLY);
        int nullIn = ::open("/dev/null", O_RDONLY);
        ::dup2(nullIn, 0);
        ::dup2(outFd >= 0 ? outFd : logFd, 1);
        ::dup2(logFd, 2);
        if (fd3 == 3) {
            ::fcntl(3, F_SETFD, 0);
        } else if (fd3 >= 0) {
            ::dup2(fd3, 3);
        }
        ::execvpe(args[0], args.data(), envp.data());
        ::_exit(127);
    }

    Options options_;
    std::string error_;
    std::string display_;
    std::filesystem::path dir_;
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    std::vector<pid_t> children_;
};

}  // namespace pivorel::test
