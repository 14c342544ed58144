#include "Pivorel/Linux/SingleInstance.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <future>

#include "BrisendoKit/Support/Log.h"
#include "Fakes/ManualMainQueue.h"
#include "QtApp.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
namespace fs = std::filesystem;

namespace {

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { qtApp(); }

    // Runs the main queue, as the program's would, until `pending` is answered.
    template <typename T>
    T pumpUntil(std::future<T> pending) {
        while (pending.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
            queue.runReady();
        }
        return pending.get();
    }
    SingleInstance::ForwardResult forward(const std::string& link) {
        return pumpUntil(std::async(
            std::launch::async, [this, link] { return SingleInstance::forward(link, socket); }));
    }

    // Raw bytes sent as a client would; the reply.
    std::string sendRaw(const std::string& bytes, bool trickle = false) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, address().get(), sizeof(sockaddr_un)) != 0) {
            ::close(fd);
            return "connect failed";
        }
        (void)!::write(fd, bytes.data(), bytes.size());
        if (!trickle) ::shutdown(fd, SHUT_WR);
        std::string reply;
        char buf[64];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) reply.append(buf, static_cast<size_t>(n));
        ::close(fd);
        return reply;
    }

    std::shared_ptr<sockaddr> address() const {
        auto addr = std::make_shared<sockaddr_un>();
        addr->sun_family = AF_UNIX;
        std::strcpy(addr->sun_path, socket.c_str());
        return std::reinterpret_pointer_cast<sockaddr>(addr);
    }

    TempDir runtime;
    fs::path socket = runtime.path() / "pivorel" / "instance.sock";
    VirtualClock clock;
    ManualMainQueue queue{clock};
    std::vector<std::string> received;
    LogCapture log;
    // Refuses links that ask for it, as a store that failed would, and loses the answer
    // of those that ask for that.
    SingleInstance::LinkHandler receive = [this](const std::string& link, auto answer) {
        received.push_back(link);
        if (link.find("unanswered") != std::string::npos) return;
        answer(link.find("refuse") == std::string::npos ? std::nullopt
                                                        : std::optional<std::string>("not stored"));
    };
};

}  // namespace

TEST_F(SingleInstanceTest, TheSecondProcessForwardsItsLinkToTheFirst) {
    EXPECT_EQ(SingleInstance::forward("pivorel://close", socket).outcome,
              SingleInstance::Forward::notRunning);
    auto server = SingleInstance::listen(queue, socket);
    ASSERT_TRUE(server) << server.error().detail;
    struct stat st {};
    ASSERT_EQ(::stat(socket.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A link that comes before the handler waits for it; the sender hears "ok" only once
    // the link is carried out, and a refusal with its reason.
    auto early = std::async(std::launch::async,
                            [this] { return SingleInstance::forward("pivorel://miss", socket); });
    queue.waitForPost(std::chrono::seconds(5));
    queue.runReady();
    EXPECT_EQ(early.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    (*server)->setLinkHandler(receive);
    EXPECT_EQ(pumpUntil(std::move(early)).outcome, SingleInstance::Forward::forwarded);
    const std::string big =
        "pivorel://select?dry=1&text=" + std::string(25000 * 3, 'a') + "%E4%B8%AD%ZZ%";
    EXPECT_EQ(forward(big).outcome, SingleInstance::Forward::forwarded);
    const auto refused = forward("pivorel://select?text=refuse");
    EXPECT_EQ(refused.outcome, SingleInstance::Forward::refused);
    EXPECT_NE(refused.detail.find("not stored"), std::string::npos) << refused.detail;
    const auto lost = forward("pivorel://select?text=unanswered");
    EXPECT_EQ(lost.outcome, SingleInstance::Forward::refused);
    EXPECT_NE(lost.detail.find("not carried out"), std::string::npos) << lost.detail;
    EXPECT_EQ(received,
              (std::vector<std::string>{"pivorel://miss", big, "pivorel://select?text=refuse",
                                        "pivorel://select?text=unanswered"}));

    // A second instance does not take over; a plain liveness probe is not a message.
    auto second = SingleInstance::listen(queue, socket);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind, SingleInstance::ListenError::Kind::alreadyRunning);

    server.value().reset();
    EXPECT_FALSE(fs::exists(socket));
    EXPECT_EQ(SingleInstance::forward("BRISENDO://close", socket).outcome,
              SingleInstance::Forward::notRunning);
    EXPECT_FALSE(log.contains("拒绝"));
}

TEST_F(SingleInstanceTest, ASocketLeftByACrashedInstanceIsReplaced) {
    fs::create_directory(socket.parent_path());
    fs::permissions(socket.parent_path(), fs::perms::owner_all);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, address().get(), sizeof(sockaddr_un)), 0);
    ::close(fd);  // bound, never listening: what a crash leaves

    EXPECT_EQ(SingleInstance::forward("pivorel://close", socket).outcome,
              SingleInstance::Forward::notRunning);
    auto server = SingleInstance::listen(queue, socket);
    ASSERT_TRUE(server) << server.error().detail;
    (*server)->setLinkHandler(receive);
    EXPECT_EQ(forward("pivorel://close").outcome, SingleInstance::Forward::forwarded);
}

TEST_F(SingleInstanceTest, ALinkNotTakenInTimeIsWithdrawnAndASlowSenderCutOff) {
    auto server = SingleInstance::listen(queue, socket, ::getuid(), {1, 0.3, 0.5});
    ASSERT_TRUE(server);
    // Nobody runs the main queue: the sender hears "busy" and the link never arrives.
    const auto busy = SingleInstance::forward("pivorel://close", socket);
    EXPECT_EQ(busy.outcome, SingleInstance::Forward::failed);
    EXPECT_EQ(busy.detail, "the running instance is busy");
    (*server)->setLinkHandler(receive);
    queue.runReady();
    EXPECT_TRUE(received.empty());
    // A message still incomplete after the read time is refused.
    EXPECT_EQ(sendRaw("pivorel://cl", true), "refused\n");
    EXPECT_TRUE(received.empty());
}

TEST_F(SingleInstanceTest, MessagesThatAreNotLinksAreRefused) {
    for (const char* link : {"PIVOREL://select?text=%00%ZZ", "brisendo://close"})
        EXPECT_TRUE(SingleInstance::isLink(link)) << link;
    for (const char* text :
         {"", "https://example.com", "pivorel:close", "pivorel://select?text=a\x07",
          "pivorel://select?text=a\nb", "pivorel://select?text=\xff"})
        EXPECT_FALSE(SingleInstance::isLink(text)) << text;

    auto server = SingleInstance::listen(queue, socket);
    ASSERT_TRUE(server);
    (*server)->setLinkHandler(receive);
    EXPECT_EQ(SingleInstance::forward("hello", socket).outcome, SingleInstance::Forward::refused);
    EXPECT_EQ(sendRaw("hello\n"), "refused\n");
    EXPECT_EQ(sendRaw("pivorel://select?text=\x01\n"), "refused\n");
    EXPECT_EQ(sendRaw(std::string(SingleInstance::maxMessageBytes + 10, 'x')), "refused\n");
    EXPECT_EQ(sendRaw(""), "");
    // No line break at the end is fine.
    EXPECT_EQ(
        pumpUntil(std::async(std::launch::async, [this] { return sendRaw("pivorel://close"); })),
        "ok\n");
    EXPECT_EQ(received, (std::vector<std::string>{"pivorel://close"}));
    EXPECT_TRUE(log.contains("Pivorel: 单实例 拒绝不是链接的消息"));
}

TEST_F(SingleInstanceTest, OnlyTheSameUserIsServedAndTrusted) {
    // A listener that expects someone else treats us as a stranger: no answer, no link.
    auto server = SingleInstance::listen(queue, socket, ::getuid() + 1);
    ASSERT_TRUE(server);
    (*server)->setLinkHandler(receive);
    const auto result = SingleInstance::forward("pivorel://close", socket);
    EXPECT_EQ(result.outcome, SingleInstance::Forward::failed);
    queue.runReady();
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(
        log.contains("Pivorel: 单实例 拒绝其他用户的连接 uid=" + std::to_string(::getuid())));
}

TEST_F(SingleInstanceTest, PathsOwnedByAnotherUserAreRefused) {
    // Another user's directory: a chowned one when we may chown, else the root directory.
    fs::path foreign = "/";
    if (::getuid() == 0) {
        foreign = runtime.path() / "foreign";
        fs::create_directory(foreign);
        fs::permissions(foreign, fs::perms::owner_all);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    }
    EXPECT_FALSE(SingleInstance::checkDirectory(foreign, ::getuid()));
    EXPECT_EQ(SingleInstance::forward("pivorel://close", foreign / "instance.sock").outcome,
              SingleInstance::Forward::unsafe);
    auto server = SingleInstance::listen(queue, foreign / "instance.sock");
    ASSERT_FALSE(server);
    EXPECT_EQ(server.error().kind, SingleInstance::ListenError::Kind::unsafe);

    // Our own directory, too open: closed before use. A file in place of the socket: refused.
    const fs::path open = runtime.path() / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    EXPECT_TRUE(SingleInstance::checkDirectory(open, ::getuid()));
    EXPECT_EQ(fs::status(open).permissions(), fs::perms::owner_all);
    { std::ofstream(open / "instance.sock") << "x"; }
    EXPECT_EQ(SingleInstance::forward("pivorel://close", open / "instance.sock").outcome,
              SingleInstance::Forward::unsafe);
    EXPECT_FALSE(SingleInstance::listen(queue, open / "instance.sock"));

    // A socket of another user in our directory.
    if (::getuid() == 0) {
        auto ours = SingleInstance::listen(queue, socket);
        ASSERT_TRUE(ours);
        ASSERT_EQ(::lchown(socket.c_str(), 65534, 65534), 0);
        EXPECT_EQ(SingleInstance::forward("pivorel://close", socket).outcome,
                  SingleInstance::Forward::unsafe);
    }
}
