#include "BrisendoKit/Actions/FlomoClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>

#include "BrisendoKit/Support/Worker.h"
#include "Fakes/ManualMainQueue.h"
#include "LocalHttpServer.h"

using namespace pivorel;

namespace {

struct FlomoClientTest : ::testing::Test {
    test::VirtualClock clock;
    test::ManualMainQueue queue{clock};
    test::LocalHttpServer http;
    std::atomic<int> webhookReads{0};
    Worker worker;

    FlomoClient client(std::optional<std::string> webhook, bool dry = false) {
        return FlomoClient(
            dry, queue,
            [this, webhook] {
                ++webhookReads;
                return webhook;
            },
            worker.runner());
    }

    std::string replyBody;
    int replyStatus = 200;

    // The result of a send whose reply is `body` with `status`.
    FlomoResult replyWith(std::string body, int status = 200) {
        if (!http.port()) {
            http.server.Post("/hook", [this](const httplib::Request&, httplib::Response& res) {
                res.status = replyStatus;
                res.set_content(replyBody, "application/json");
            });
            http.start();
        }
        replyBody = std::move(body);
        replyStatus = status;
        return client(http.url("/hook")).sendNow("note", std::nullopt, std::nullopt);
    }
};

}  // namespace

TEST_F(FlomoClientTest, DryRunAndMissingAddressSendNothing) {
    EXPECT_EQ(client(std::nullopt, true).sendNow(" 想法 ", std::string_view("App"), std::nullopt),
              FlomoResult::dryRun("想法\n\n来自 App\n\n#pivorel"));
    EXPECT_EQ(webhookReads, 0);

    const auto noAddress = FlomoResult::failed("还没有 flomo 地址（运行 --seed-credentials）");
    EXPECT_EQ(client(std::nullopt).sendNow("a", std::nullopt, std::nullopt), noAddress);
    EXPECT_EQ(client("not a url").sendNow("a", std::nullopt, std::nullopt), noAddress);
    EXPECT_EQ(client("file:///etc/passwd").sendNow("a", std::nullopt, std::nullopt), noAddress);
    EXPECT_EQ(webhookReads, 3);
}

TEST_F(FlomoClientTest, PostsTheNoteAsCompactJSON) {
    httplib::Request seen;
    http.server.Post("/hook/abc", [&](const httplib::Request& req, httplib::Response& res) {
        seen = req;
        res.status = 500;  // flomo's code decides, not the status
        res.set_content(R"({"code": 0, "message": "已记录", "data": {}})", "application/json");
    });
    http.start();
    EXPECT_EQ(client(http.url("/hook/abc"))
                  .sendNow("a \"<b>\"\n", std::string_view("Fire"), std::string_view("https://x/")),
              FlomoResult::sent());
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.get_header_value("Content-Type"), "application/json");
    EXPECT_EQ(seen.body, R"({"content":"a \"＜b＞\"\n\nhttps://x/ · 来自 Fire\n\n#pivorel"})");
}

TEST_F(FlomoClientTest, ReplyRules) {
    EXPECT_EQ(replyWith(R"({"code": "0"})"), FlomoResult::failed(R"({"code": "0"})"));
    std::string body;
    for (int i = 0; i < 300; ++i) body += static_cast<char>('a' + i % 26);
    EXPECT_EQ(replyWith(body, 400), FlomoResult::failed(body.substr(0, 120)));
    EXPECT_EQ(replyWith("bad \xff\xfe reply", 502), FlomoResult::failed("未知错误"));

    EXPECT_EQ(FlomoClient::interpretReply(R"({"code":0})"), FlomoResult::sent());
    EXPECT_EQ(FlomoClient::interpretReply(R"({"code":-1,"message":"无效"})"),
              FlomoResult::failed(R"({"code":-1,"message":"无效"})"));
    EXPECT_EQ(FlomoClient::interpretReply(R"({"code":0.5})").kind, FlomoResult::Kind::failed);
    EXPECT_EQ(FlomoClient::interpretReply(R"([{"code":0}])").kind, FlomoResult::Kind::failed);
    EXPECT_EQ(FlomoClient::interpretReply(""), FlomoResult::failed("未知错误"));
    // Cut by characters, never inside one.
    std::string chinese;
    for (int i = 0; i < 130; ++i) chinese += "错";
    EXPECT_EQ(FlomoClient::interpretReply(chinese).text.size(), 120u * 3);
}

TEST_F(FlomoClientTest, StalledServerTimesOut) {
    std::mutex mutex;
    std::condition_variable released;
    bool done = false;
    http.server.Post("/hook", [&](const httplib::Request&, httplib::Response& res) {
        std::unique_lock lock(mutex);
        released.wait_for(lock, std::chrono::seconds(10), [&] { return done; });
        res.set_content(R"({"code":0})", "application/json");
    });
    http.start();
    FlomoClient stalled = client(http.url("/hook"));
    stalled.timeoutSeconds = 0.3;
    const FlomoResult result = stalled.sendNow("a", std::nullopt, std::nullopt);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    released.notify_all();
    EXPECT_EQ(result.kind, FlomoResult::Kind::failed);
    EXPECT_NE(result.text.find("timed out"), std::string::npos) << result.text;
}
