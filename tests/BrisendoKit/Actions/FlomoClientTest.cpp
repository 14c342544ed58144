#include "BrisendoKit/Actions/FlomoClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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
};

}  // namespace

TEST_F(FlomoClientTest, DryRunAndMissingAddressSendNothing) {
    EXPECT_EQ(client(std::nullopt, true).sendNow(" 想法 ", std::string_view("App"), std::nullopt),
              FlomoResult::dryRun("想法\n\n来自 App\n\n#pivorel"));
    EXPECT_EQ(webhookReads, 0);

    const auto noAddress = FlomoResult::failed("还没有 flomo 地址（运行 --seed-credentials）");
    for (const auto& webhook :
         {std::optional<std::string>(), std::optional<std::string>("not a url"),
          std::optional<std::string>("file:///etc/passwd")})
        EXPECT_EQ(client(webhook).sendNow("a", std::nullopt, std::nullopt), noAddress);
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

TEST(FlomoClient, OnlyAnIntegerCodeZeroIsSentOtherwiseTheReplyIsShownCut) {
    EXPECT_EQ(FlomoClient::interpretReply(R"({"code":0})"), FlomoResult::sent());
    for (const char* reply : {R"({"code": "0"})", R"({"code":-1,"message":"无效"})",
                              R"({"code":0.5})", R"([{"code":0}])"})
        EXPECT_EQ(FlomoClient::interpretReply(reply), FlomoResult::failed(reply));
    EXPECT_EQ(FlomoClient::interpretReply(""), FlomoResult::failed("未知错误"));
    EXPECT_EQ(FlomoClient::interpretReply("bad \xff\xfe reply"), FlomoResult::failed("未知错误"));
    // Cut by characters, never inside one.
    std::string ascii, chinese;
    for (int i = 0; i < 300; ++i) ascii += static_cast<char>('a' + i % 26), chinese += "错";
    EXPECT_EQ(FlomoClient::interpretReply(ascii), FlomoResult::failed(ascii.substr(0, 120)));
    EXPECT_EQ(FlomoClient::interpretReply(chinese), FlomoResult::failed(chinese.substr(0, 360)));
}

TEST_F(FlomoClientTest, StalledServerTimesOut) {
    std::atomic<bool> release{false};
    http.server.Post("/hook", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 1000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        res.set_content(R"({"code":0})", "application/json");
    });
    http.start();
    FlomoClient stalled = client(http.url("/hook"));
    stalled.timeoutSeconds = 0.3;
    const FlomoResult result = stalled.sendNow("a", std::nullopt, std::nullopt);
    release = true;
    EXPECT_EQ(result.kind, FlomoResult::Kind::failed);
    EXPECT_NE(result.text.find("timed out"), std::string::npos) << result.text;
}
