#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/Result.h"

namespace pivorel {

class MainQueue;

// What the listening side allows a sender.
struct InstanceLimits {
    // Links waiting for the main queue; more are answered "busy".
    std::size_t maxQueuedLinks = 64;
    // How long a link may wait for the main queue (startup included) before it is taken
    // back and answered "busy". The sender waits 3 s longer for its answer.
    double handOffSeconds = 8.0;
    // For a whole message to arrive: a sender trickling bytes holds nobody up.
    double readSeconds = 3.0;
};

// One Pivorel per user. The running instance listens on a local socket in a private
// directory of $XDG_RUNTIME_DIR; a second `pivorel <link>` hands its link over and exits.
// Only the same user can connect (the directory is 0700 and the peer's uid is checked on
// both ends), and only a link of the program's schemes is accepted.
class SingleInstance {
  public:
    enum class Forward {
        forwarded,   // the running instance took the link
        notRunning,  // nobody listens: become the instance
        refused,     // the running instance (or this side) rejected the message
        unsafe,      // the socket or its directory belongs to someone else
        failed,      // a listener that does not answer, or answers that it is too busy
    };
    struct ForwardResult {
        Forward outcome = Forward::notRunning;
        std::string detail;
    };

    struct ListenError {
        enum class Kind { alreadyRunning, unsafe, failed };
        Kind kind = Kind::failed;
        std::string detail;
    };

    // What the sender hears, once: nothing when the link was carried out (a selection
    // stored), else why it was refused. May be called from any thread.
    using Answer = std::function<void(std::optional<std::string> refusal)>;
    // Carries out a link on the main queue and answers when it is done.
    using LinkHandler = std::function<void(const std::string& link, Answer answer)>;

    // Longest message accepted: a 20000-character text percent-encoded fits many times.
    static constexpr std::size_t maxMessageBytes = 1u << 20;
    // For reading a whole message, and for writing.
    static constexpr double ioTimeoutSeconds = 3.0;

    using Limits = InstanceLimits;

    // $XDG_RUNTIME_DIR/pivorel/instance.sock, or /tmp/pivorel-<uid>/instance.sock without
    // a runtime directory.
    static std::filesystem::path defaultSocketPath();

    // Whether `message` is something the instance carries out: one line, valid UTF-8, no
    // control characters, a "pivorel://" or "brisendo://" link (scheme in any case).
    static bool isLink(std::string_view message);

    // Hands `link` to the instance listening at `socket`.
    static ForwardResult forward(const std::string& link,
                                 const std::filesystem::path& socket = defaultSocketPath());

    // Becomes the instance: listens at `socket` on a thread of its own (running a Qt event
    // loop, so the QApplication must exist) and hands each accepted link to the handler on
    // `queue`. Fails with alreadyRunning when another
    // instance answers there; a socket left behind by a crashed instance is replaced.
    // `expectedUid` is whom to accept (this user; tests pass another).
    static Result<std::unique_ptr<SingleInstance>, ListenError> listen(
        MainQueue& queue, const std::filesystem::path& socket = defaultSocketPath(),
        uid_t expectedUid = ::getuid(), Limits limits = {});

    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Links that arrived before a handler was set are handed over in order when it is, one
    // per turn of the main queue.
    void setLinkHandler(LinkHandler handler);

    const std::filesystem::path& socketPath() const { return socket_; }

    // The private directory's safety: it must be a real directory of `uid` with no access
    // for others; one of ours that is too open is tightened. An error text otherwise.
    static Result<Done, std::string> checkDirectory(const std::filesystem::path& dir, uid_t uid);

  private:
    struct Shared;
    class Listener;
    SingleInstance(std::filesystem::path socket, std::shared_ptr<Shared> shared);

    std::filesystem::path socket_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<Listener> listener_;
};

}  // namespace pivorel
