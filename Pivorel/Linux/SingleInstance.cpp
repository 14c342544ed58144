#include "Pivorel/Linux/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>

#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view okReply = "ok\n";
constexpr std::string_view refusedReply = "refused\n";

std::string errnoText() {
    return std::strerror(errno);
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

bool fillAddress(const fs::path& socket, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    const std::string path = socket.string();
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

void setTimeouts(int fd, double seconds) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(seconds);
    tv.tv_usec = static_cast<suseconds_t>((seconds - static_cast<double>(tv.tv_sec)) * 1e6);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

std::optional<uid_t> peerUid(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return std::nullopt;
    return cred.uid;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads up to a line break or the end; false when the limit is passed or reading fails
// (timeouts included).
bool readLine(int fd, std::string& out, std::size_t limit) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
        if (const auto nl = out.find('\n'); nl != std::string::npos) {
            out.resize(nl);
            return true;
        }
        if (out.size() > limit) return false;
    }
}

// Connects to `socket`; the connected descriptor, or -1 with errno set.
int connectTo(const fs::path& socket) {
    sockaddr_un addr{};
    if (!fillAddress(socket, addr)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return -1;
    setTimeouts(fd.get(), SingleInstance::ioTimeoutSeconds);
    int rc;
    do {
        rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return -1;
    return fd.release();
}

// The socket file itself: nothing there, or a socket of `uid`.
Result<bool, std::string> checkSocketFile(const fs::path& socket, uid_t uid) {
    struct stat st {};
    if (::lstat(socket.c_str(), &st) != 0) {
        if (errno == ENOENT) return false;
        return fail(socket.string() + ": " + errnoText());
    }
    if (!S_ISSOCK(st.st_mode)) return fail(socket.string() + " is not a socket");
    if (st.st_uid != uid) {
        return fail(socket.string() + " belongs to uid " + std::to_string(st.st_uid));
    }
    return true;
}

}  // namespace

struct SingleInstance::Shared {
    explicit Shared(MainQueue& q) : queue(q) {}
    MainQueue& queue;
    std::mutex mutex;
    LinkHandler handler;
    std::deque<std::string> pending;

    void drain() {
        for (;;) {
            std::string link;
            LinkHandler h;
            {
                std::lock_guard lock(mutex);
                if (!handler || pending.empty()) return;
                link = std::move(pending.front());
                pending.pop_front();
                h = handler;
            }
            h(link);
        }
    }
};

fs::path SingleInstance::defaultSocketPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const fs::path dir(runtime);
        if (dir.is_absolute()) return dir / "pivorel" / "instance.sock";
    }
    return fs::path("/tmp") / ("pivorel-" + std::to_string(::getuid())) / "instance.sock";
}

bool SingleInstance::isLink(std::string_view message) {
    if (message.empty() || message.size() > maxMessageBytes) return false;
    if (!text::isValidUtf8(message)) return false;
    for (unsigned char c : message) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    const auto sep = message.find("://");
    if (sep == std::string_view::npos) return false;
    std::string scheme(message.substr(0, sep));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return scheme == "pivorel" || scheme == "brisendo";
}

Result<Done, std::string> SingleInstance::checkDirectory(const fs::path& dir, uid_t uid) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) return fail(dir.string() + ": " + errnoText());
    if (!S_ISDIR(st.st_mode)) return fail(dir.string() + " is not a directory");
    if (st.st_uid != uid) {
        return fail(dir.string() + " belongs to uid " + std::to_string(st.st_uid));
    }
    if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) {
        return fail(dir.string() + " is open to others and cannot be closed: " + errnoText());
    }
    return Done{};
}

SingleInstance::ForwardResult SingleInstance::forward(const std::string& link,
                                                      const fs::path& socket) {
    if (!isLink(link)) return {Forward::refused, "not a link of this program"};
    struct stat st {};
    if (::lstat(socket.parent_path().c_str(), &st) != 0) return {Forward::notRunning, {}};
    if (auto dir = checkDirectory(socket.parent_path(), ::getuid()); !dir) {
        return {Forward::unsafe, dir.error()};
    }
    auto file = checkSocketFile(socket, ::getuid());
    if (!file) return {Forward::unsafe, file.error()};
    if (!file.value()) return {Forward::notRunning, {}};

    Fd fd(connectTo(socket));
    if (fd.get() < 0) {
        if (errno == ECONNREFUSED || errno == ENOENT) return {Forward::notRunning, {}};
        return {Forward::failed, errnoText()};
    }
    // The listener must be this user's too, or the link (the user's selected text) would
    // go to someone else.
    if (peerUid(fd.get()) != ::getuid()) {
        return {Forward::unsafe, "the listener is another user's"};
    }
    std::string message = link + "\n";
    if (!writeAll(fd.get(), message)) return {Forward::failed, "send: " + errnoText()};
    ::shutdown(fd.get(), SHUT_WR);
    std::string reply;
    if (!readLine(fd.get(), reply, 64)) return {Forward::failed, "no answer"};
    if (reply + "\n" == okReply) return {Forward::forwarded, {}};
    if (reply + "\n" == refusedReply) return {Forward::refused, "the running instance refused it"};
    return {Forward::failed, "no answer"};
}

Result<std::unique_ptr<SingleInstance>, SingleInstance::ListenError> SingleInstance::listen(
    MainQueue& queue, const fs::path& socket, uid_t expectedUid) {
    using Kind = ListenError::Kind;
    const fs::path dir = socket.parent_path();
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return fail(ListenError{Kind::failed, dir.string() + ": " + errnoText()});
    }
    if (auto ok = checkDirectory(dir, ::getuid()); !ok) {
        return fail(ListenError{Kind::unsafe, ok.error()});
    }
    auto existing = checkSocketFile(socket, ::getuid());
    if (!existing) return fail(ListenError{Kind::unsafe, existing.error()});
    if (existing.value()) {
        Fd probe(connectTo(socket));
        if (probe.get() >= 0) {
            // Someone answers: another instance. Closing without a word is its liveness
            // probe, not a message.
            return fail(ListenError{Kind::alreadyRunning, socket.string()});
        }
        ::unlink(socket.c_str());  // left behind by an instance that crashed
    }

    sockaddr_un addr{};
    if (!fillAddress(socket, addr)) {
        return fail(ListenError{Kind::failed, socket.string() + ": path too long"});
    }
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return fail(ListenError{Kind::failed, "socket: " + errnoText()});
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        // Two instances starting at once: the other one won.
        const Kind kind = errno == EADDRINUSE ? Kind::alreadyRunning : Kind::failed;
        return fail(ListenError{kind, "bind: " + errnoText()});
    }
    ::chmod(socket.c_str(), 0700);
    if (::listen(fd.get(), 16) != 0) {
        ::unlink(socket.c_str());
        return fail(ListenError{Kind::failed, "listen: " + errnoText()});
    }
    struct stat st {};
    ::lstat(socket.c_str(), &st);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        ::unlink(socket.c_str());
        return fail(ListenError{Kind::failed, "pipe: " + errnoText()});
    }
    return std::unique_ptr<SingleInstance>(
        new SingleInstance(socket, fd.release(), wake, st.st_ino, expectedUid, queue));
}

SingleInstance::SingleInstance(fs::path socket, int listenFd, int wakeFd[2], ino_t inode,
                               uid_t expectedUid, MainQueue& queue)
    : socket_(std::move(socket)),
      listenFd_(listenFd),
      wakeRead_(wakeFd[0]),
      wakeWrite_(wakeFd[1]),
      inode_(inode),
      expectedUid_(expectedUid),
      shared_(std::make_shared<Shared>(queue)) {
    thread_ = std::thread([this] { serve(); });
}

SingleInstance::~SingleInstance() {
    const char byte = 0;
    while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
    // Only our own socket: a successor may already have replaced it.
    struct stat st {};
    if (::lstat(socket_.c_str(), &st) == 0 && st.st_ino == inode_) ::unlink(socket_.c_str());
}

void SingleInstance::setLinkHandler(LinkHandler handler) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->handler = std::move(handler);
    }
    shared_->queue.post([shared = shared_] { shared->drain(); });
}

void SingleInstance::serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        Fd client(::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC));
        if (client.get() < 0) continue;
        handle(client.get());
    }
}

void SingleInstance::handle(int fd) {
    const auto uid = peerUid(fd);
    if (!uid || *uid != expectedUid_) {
        Log::write("Pivorel: 单实例 拒绝其他用户的连接 uid=" +
                   (uid ? std::to_string(*uid) : std::string("?")));
        return;
    }
    setTimeouts(fd, ioTimeoutSeconds);
    std::string message;
    const bool complete = readLine(fd, message, maxMessageBytes);
    if (complete && message.empty()) return;  // a liveness probe
    if (!complete || !isLink(message)) {
        Log::write("Pivorel: 单实例 拒绝不是链接的消息 (" + std::to_string(message.size()) +
                   " 字节)");
        writeAll(fd, refusedReply);
        return;
    }
    // Queued before the answer: a sender told "ok" can rely on the link being carried out.
    {
        std::lock_guard lock(shared_->mutex);
        shared_->pending.push_back(std::move(message));
    }
    shared_->queue.post([shared = shared_] { shared->drain(); });
    writeAll(fd, okReply);
}

}  // namespace pivorel
