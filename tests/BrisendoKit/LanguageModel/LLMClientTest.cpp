#include "BrisendoKit/LanguageModel/LLMClient.h"

#include <gtest/gtest.h>

#include <atomic>

#include "BrisendoKit/LanguageModel/ChatServer.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;
using nlohmann::json;
using test::ChatServer;
using test::Collected;

namespace {

const std::vector<ChatMessage> question = {{"system", "be brief"}, {"user", "serendipity"}};

class LLMClientTest : public ::testing::Test {
  protected:
    LLMClient client(std::optional<std::string> key = "sk-test", double timeout = 10) {
        return LLMClient(
            server.baseURL(), "deepseek-chat", queue, [key] { return key; }, timeout);
    }
    Collected run(LLMClient c, const std::vector<ChatMessage>& messages = question) {
        Collected got;
        auto handle = c.stream(messages, got.onPiece(), got.onFinish());
        EXPECT_TRUE(test::pumpUntil(queue, [&] { return got.finished; }));
        return got;
    }

    test::VirtualClock clock;
    test::ManualMainQueue queue{clock};
    ChatServer server;
};

}  // namespace

TEST(LLMClientRequest, IsThePostTheServiceExpectsAndNeedsAnHttpAddress) {
    test::VirtualClock clock;
    test::ManualMainQueue queue(clock);
    LLMClient c("https://api.deepseek.com/v1", "deepseek-chat", queue, {});
    const auto request = c.makeRequest(question, "sk-1");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url, "https://api.deepseek.com/v1/chat/completions");
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->timeoutSeconds, 60);
    using Headers = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(request->headers,
              (Headers{{"Authorization", "Bearer sk-1"}, {"Content-Type", "application/json"}}));
    EXPECT_EQ(request->body,
              R"({"model":"deepseek-chat","stream":true,"messages":[{"role":"system",)"
              R"("content":"be brief"},{"role":"user","content":"serendipity"}]})");

    // Text that is not UTF-8 still makes a body.
    const auto odd = c.makeRequest({{"user", "a\xFF"}}, "k");
    ASSERT_TRUE(odd);
    EXPECT_TRUE(json::accept(odd->body));

    for (const std::string base : {"", "not a url", "api.deepseek.com/v1", "ftp://host/v1",
                                   "file:///etc", "https://exa mple.com/v1"}) {
        const auto refused = LLMClient(base, "m", queue, {}).makeRequest(question, "k");
        ASSERT_FALSE(refused) << base;
        EXPECT_EQ(refused.error(), LLMError::invalidURL(base));
    }
}

TEST_F(LLMClientTest, StreamsPiecesStopsAtTheEndMarkerAndJoinsLinesCutAnywhere) {
    server.reply(ChatServer::answer({"Seren", "dipity ", "是", "意外之喜。"}));
    const auto whole = run(client());
    EXPECT_EQ(whole.pieces, (std::vector<std::string>{"Seren", "dipity ", "是", "意外之喜。"}));
    EXPECT_EQ(whole.error, std::nullopt);
    EXPECT_EQ(server.requests().at(0).path, "/v1/chat/completions");

    ChatServer::Reply r;
    for (const auto* p : {"one", "two", "three"}) r.steps.push_back({1, ChatServer::delta(p)});
    r.steps.push_back({1, "data: [DONE]\n\n" + ChatServer::delta("after")});
    server.reply(r);
    EXPECT_EQ(run(client()).pieces, (std::vector<std::string>{"one", "two", "three"}));

    // One event cut into single bytes, LF line ends, a broken byte inside the text.
    ChatServer::Reply cut;
    const std::string event =
        "data: {\"choices\":[{\"delta\":{\"content\":\"caf\xC3\xA9 \xFF!\"}}]}\n\n";
    for (char c : event) cut.steps.push_back({0, std::string(1, c)});
    cut.steps.push_back({0, "data: [DONE]\n\n"});
    server.reply(cut);
    const auto got = run(client());
    EXPECT_EQ(got.pieces, (std::vector<std::string>{"café \xEF\xBF\xBD!"}));
    EXPECT_EQ(got.error, std::nullopt);
}

TEST_F(LLMClientTest, EndsWithTheErrorOfAFailedResponse) {
    server.reply(ChatServer::error(401, R"({"error":{"message":"Authentication Fails"}})"));
    auto got = run(client());
    EXPECT_TRUE(got.pieces.empty());
    EXPECT_EQ(got.llmError(), LLMError::http(401, "Authentication Fails"));

    // A huge error page: only its start is read.
    server.reply(ChatServer::error(503, std::string(8 << 20, 'z'), "text/html"));
    EXPECT_EQ(run(client()).llmError(), LLMError::http(503, std::string(160, 'z')));
}

TEST_F(LLMClientTest, AsksForTheKeyAtEveryStreamAndSendsNothingWithout) {
    std::atomic<int> calls{0};
    std::optional<std::string> stored = "";
    std::mutex keyMutex;
    LLMClient c(server.baseURL(), "m", queue, [&]() -> std::optional<std::string> {
        ++calls;
        std::lock_guard lock(keyMutex);
        return stored;
    });
    const auto store = [&](std::optional<std::string> key) {
        std::lock_guard lock(keyMutex);
        stored = std::move(key);
    };
    EXPECT_EQ(run(c).llmError(), LLMError::noAPIKey());
    store(std::nullopt);
    EXPECT_EQ(run(c).llmError(), LLMError::noAPIKey());
    EXPECT_TRUE(server.requests().empty());

    store("sk-later\n");  // as pasted
    server.reply(ChatServer::answer({"ok"}));
    EXPECT_EQ(run(c).text(), "ok");
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].authorization, "Bearer sk-later");
}

TEST_F(LLMClientTest, AReplyWithoutAnyAnswerIsAnError) {
    const std::string page = "<!DOCTYPE html><html><head><title>Wi-Fi login</title></head>" +
                             std::string(400, ' ') + "<body>...</body></html>";
    server.reply(ChatServer::error(200, page, "text/html"));
    const auto got = run(client());
    ASSERT_TRUE(got.llmError());
    EXPECT_EQ(got.llmError()->kind(), LLMError::Kind::notAnAnswer);
    EXPECT_EQ(got.llmError()->message(), page.substr(0, 160));
    EXPECT_NE(description(*got.error).find("<!DOCTYPE html><html>"), std::string::npos);

    // Text that ends without the marker is an answer all the same.
    ChatServer::Reply cut;
    cut.steps = {{0, ChatServer::role()}, {1, ChatServer::delta("partial")}};
    server.reply(cut);
    const auto partial = run(client());
    EXPECT_EQ(partial.text(), "partial");
    EXPECT_EQ(partial.error, std::nullopt);
}

TEST_F(LLMClientTest, TransportFailuresEndTheStream) {
    // A server that goes quiet: the (shortened) time-out ends it.
    ChatServer::Reply stall = ChatServer::answer({"slow"});
    stall.steps.pop_back();  // no [DONE]
    stall.stall = true;
    server.reply(stall);
    auto got = run(client("k", 0.3));
    EXPECT_EQ(got.text(), "slow");
    EXPECT_EQ(got.llmError(), LLMError::timedOut());

    // Nobody listening at all.
    LLMClient refused("http://127.0.0.1:1/v1", "m", queue, [] { return std::string("k"); });
    got = run(refused);
    ASSERT_TRUE(got.llmError());
    EXPECT_EQ(got.llmError()->kind(), LLMError::Kind::transport);
    EXPECT_NE(got.llmError()->description().find("网络出错："), std::string::npos);
}

TEST_F(LLMClientTest, CancelStopsASilentTransferAndCallsNothing) {
    ChatServer::Reply stall;
    stall.steps = {{0, ChatServer::role()}, {0, ChatServer::delta("first")}};
    stall.stall = true;
    server.reply(stall);
    Collected got;
    auto c = client("k", 60);
    auto handle = c.stream(question, got.onPiece(), got.onFinish());
    ASSERT_TRUE(test::pumpUntil(queue, [&] { return !got.pieces.empty(); }));
    handle->cancel();
    const auto before = std::chrono::steady_clock::now();
    handle.reset();  // waits for the worker
    // Far below the time-out and the server's stall: the transfer did stop.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    queue.runReady();
    EXPECT_EQ(got.pieces, (std::vector<std::string>{"first"}));
    EXPECT_FALSE(got.finished);

    // Dropping the handle before anything arrived is just as quiet.
    server.reply(ChatServer::answer({"never"}, 50));
    Collected none;
    { auto h = c.stream(question, none.onPiece(), none.onFinish()); }
    queue.runReady();
    EXPECT_TRUE(none.pieces.empty());
    EXPECT_FALSE(none.finished);
}
