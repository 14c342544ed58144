#include "Pivorel/Linux/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <optional>

#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/XdgDirs.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view okReply = "ok\n";
// A refusal may carry its reason: "refused <reason>\n".
constexpr std::string_view refusedReply = "refused";
constexpr std::string_view busyReply = "busy\n";
constexpr int ioTimeoutMs = static_cast<int>(SingleInstance::ioTimeoutSeconds * 1000);
constexpr int answerTimeoutMs = static_cast<int>(
    (SingleInstance::Limits{}.handOffSeconds + SingleInstance::ioTimeoutSeconds) * 1000);

std::string errnoText() {
    return std::strerror(errno);
}

QString qPath(const fs::path& path) {
    return QString::fromStdString(path.string());
}

std::optional<uid_t> peerUid(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return std::nullopt;
    return cred.uid;
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

// A connection the listener accepted, read with plain blocking calls: a sender may end its
// message by closing its writing side and still wait for the answer, which QLocalSocket
// cannot serve (it closes both ways at the end of input).
class Connection {
  public:
    explicit Connection(int fd) : fd_(fd) {
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        timeval tv{static_cast<time_t>(SingleInstance::ioTimeoutSeconds), 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    ~Connection() { ::close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::optional<uid_t> peer() const { return peerUid(fd_); }

    // Up to a line break or the end; false when the limit is passed or reading fails or
    // takes longer than `seconds` as a whole.
    bool readLine(std::string& out, std::size_t limit, double seconds) {
        char buf[4096];
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
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

    void write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

  private:
    int fd_;
};

}  // namespace

struct SingleInstance::Shared : std::enable_shared_from_this<Shared> {
    Shared(MainQueue& q, uid_t uid, Limits l) : queue(q), expectedUid(uid), limits(l) {}
    MainQueue& queue;
    const uid_t expectedUid;
    const Limits limits;
    // A link on its way to the main queue, and the answer its sender waits for.
    struct Pending {
        std::string link;
        bool taken = false;  // the main queue is carrying it out
        std::promise<std::optional<std::string>> outcome;
        std::atomic_flag answered;
        void answer(std::optional<std::string> refusal) {
            if (!answered.test_and_set()) outcome.set_value(std::move(refusal));
        }
    };

    std::mutex mutex;
    std::atomic<bool> closing{false};
    LinkHandler handler;
    std::deque<std::shared_ptr<Pending>> pending;

    // One link per turn, so keys and clicks get their turns during a flood.
    void drainOne() {
        std::shared_ptr<Pending> next;
        LinkHandler h;
        bool more = false;
        {
            std::lock_guard lock(mutex);
            if (!handler || pending.empty()) return;
            next = std::move(pending.front());
            pending.pop_front();
            next->taken = true;
            h = handler;
            more = !pending.empty();
        }
        // An answer dropped without a word (the program quitting) still answers.
        struct Guard {
            std::shared_ptr<Pending> item;
            ~Guard() { item->answer("not carried out"); }
        };
        try {
            h(next->link,
              [guard = std::shared_ptr<Guard>(new Guard{next})](
                  std::optional<std::string> refusal) { guard->item->answer(std::move(refusal)); });
        } catch (const std::exception& e) {
            next->answer(std::string("failed: ") + e.what());
        }
        if (more) queue.post([self = shared_from_this()] { self->drainOne(); });
    }

    void handle(int fd) {
        Connection connection(fd);
        const auto uid = connection.peer();
        if (!uid || *uid != expectedUid) {
            Log::write("Pivorel: 单实例 拒绝其他用户的连接 uid=" +
                       (uid ? std::to_string(*uid) : std::string("?")));
            return;
        }
        std::string message;
        const bool complete = connection.readLine(message, maxMessageBytes, limits.readSeconds);
        if (complete && message.empty()) return;  // a liveness probe
        if (!complete || !isLink(message)) {
            Log::write("Pivorel: 单实例 拒绝不是链接的消息 (" + std::to_string(message.size()) +
                       " 字节)");
            connection.write(std::string(refusedReply) + "\n");
            return;
        }
        auto item = std::make_shared<Pending>();
        item->link = std::move(message);
        auto outcome = item->outcome.get_future();
        {
            std::lock_guard lock(mutex);
            if (pending.size() >= limits.maxQueuedLinks) {
                Log::write("Pivorel: 单实例 链接太多，回答忙");
                connection.write(busyReply);
                return;
            }
            pending.push_back(item);
        }
        queue.post([self = shared_from_this()] { self->drainOne(); });
        // The answer waits for the link to be carried out: a sender told "ok" can rely on
        // it, and one told anything else on its never happening.
        const auto handOff = std::chrono::duration<double>(limits.handOffSeconds);
        if (outcome.wait_for(handOff) != std::future_status::ready) {
            std::unique_lock lock(mutex);
            if (!item->taken) {
                std::erase(pending, item);
                lock.unlock();
                Log::write("Pivorel: 单实例 链接等待过久，回答忙");
                connection.write(busyReply);
                return;
            }
            lock.unlock();
            // Being carried out: the answer comes once it is stored (or not), or the
            // program quits and says so.
            while (outcome.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
                if (closing) item->answer("quitting");
            }
        }
        const auto refusal = outcome.get();
        if (refusal) {
            connection.write(std::string(refusedReply) + " " + *refusal + "\n");
        } else {
            connection.write(okReply);
        }
    }
};

// The thread that owns the QLocalServer and runs its event loop; connections are served one
// at a time there.
class SingleInstance::Listener : public QThread {
  public:
    Listener(fs::path socket, std::shared_ptr<Shared> shared)
        : socket_(std::move(socket)), shared_(std::move(shared)) {}
    ~Listener() override {
        quit();
        wait();
    }

    // Empty once listening, else QLocalServer's error and whether the address was taken.
    std::future<std::pair<QString, bool>> started() { return started_.get_future(); }

  protected:
    void run() override {
        Server server(*shared_);
        // Not UserAccessOption: it binds elsewhere and renames over the path, so of two
        // instances starting at once both would win. The directory is private; the mode
        // matches it.
        if (!server.listen(qPath(socket_))) {
            started_.set_value(
                {server.errorString(), server.serverError() == QAbstractSocket::AddressInUseError});
            return;
        }
        ::chmod(socket_.c_str(), 0700);
        started_.set_value({});
        exec();
    }

  private:
    class Server : public QLocalServer {
      public:
        explicit Server(Shared& shared) : shared_(shared) {}

      protected:
        void incomingConnection(quintptr fd) override { shared_.handle(static_cast<int>(fd)); }

      private:
        Shared& shared_;
    };

    fs::path socket_;
    std::shared_ptr<Shared> shared_;
    std::promise<std::pair<QString, bool>> started_;
};

fs::path SingleInstance::defaultSocketPath() {
    if (const auto runtime = XdgDirs::runtimeDir()) return *runtime / "pivorel" / "instance.sock";
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

    // Blocking calls only: this runs before the QApplication exists.
    QLocalSocket peer;
    peer.connectToServer(qPath(socket));
    if (!peer.waitForConnected(ioTimeoutMs)) {
        if (peer.error() == QLocalSocket::ConnectionRefusedError ||
            peer.error() == QLocalSocket::ServerNotFoundError) {
            return {Forward::notRunning, {}};
        }
        return {Forward::failed, peer.errorString().toStdString()};
    }
    // The listener must be this user's too, or the link (the user's selected text) would
    // go to someone else.
    if (peerUid(static_cast<int>(peer.socketDescriptor())) != ::getuid()) {
        return {Forward::unsafe, "the listener is another user's"};
    }
    peer.write(QByteArray::fromStdString(link + "\n"));
    while (peer.bytesToWrite() > 0) {
        if (!peer.waitForBytesWritten(ioTimeoutMs)) {
            return {Forward::failed, "send: " + peer.errorString().toStdString()};
        }
    }
    // The instance answers once the link is carried out.
    const auto answerBy =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(answerTimeoutMs);
    while (!peer.canReadLine()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            answerBy - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !peer.waitForReadyRead(static_cast<int>(left.count()))) {
            return {Forward::failed, "no answer"};
        }
    }
    const QByteArray reply = peer.readLine();
    if (reply == okReply.data()) return {Forward::forwarded, {}};
    if (reply == busyReply.data()) return {Forward::failed, "the running instance is busy"};
    if (reply.startsWith(QByteArray(refusedReply.data(), refusedReply.size()))) {
        const std::string reason = reply.mid(refusedReply.size()).trimmed().toStdString();
        return {Forward::refused,
                "the running instance refused it" + (reason.empty() ? "" : ": " + reason)};
    }
    return {Forward::failed, "no answer"};
}

Result<std::unique_ptr<SingleInstance>, SingleInstance::ListenError> SingleInstance::listen(
    MainQueue& queue, const fs::path& socket, uid_t expectedUid, Limits limits) {
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
        QLocalSocket probe;
        probe.connectToServer(qPath(socket));
        if (probe.waitForConnected(ioTimeoutMs)) {
            // Someone answers: another instance. Closing without a word is its liveness
            // probe, not a message.
            return fail(ListenError{Kind::alreadyRunning, socket.string()});
        }
        QLocalServer::removeServer(qPath(socket));  // left behind by an instance that crashed
    }

    auto shared = std::make_shared<Shared>(queue, expectedUid, limits);
    std::unique_ptr<SingleInstance> instance(new SingleInstance(socket, shared));
    auto started = instance->listener_->started();
    instance->listener_->start();
    if (const auto [error, taken] = started.get(); !error.isEmpty()) {
        // Two instances starting at once: the other one won.
        return fail(ListenError{taken ? Kind::alreadyRunning : Kind::failed,
                                "listen: " + error.toStdString()});
    }
    return instance;
}

SingleInstance::SingleInstance(fs::path socket, std::shared_ptr<Shared> shared)
    : socket_(std::move(socket)),
      shared_(std::move(shared)),
      listener_(std::make_unique<Listener>(socket_, shared_)) {}

SingleInstance::~SingleInstance() {
    shared_->closing = true;
}

void SingleInstance::setLinkHandler(LinkHandler handler) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->handler = std::move(handler);
    }
    shared_->queue.post([shared = shared_] { shared->drainOne(); });
}

}  // namespace pivorel
