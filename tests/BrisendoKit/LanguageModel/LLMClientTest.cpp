#include "BrisendoKit/LanguageModel/LLMClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "BrisendoKit/LanguageModel/ChatServer.h"
#include "BrisendoKit/LanguageModel/LLMError.h"
#include "BrisendoKit/LanguageModel/Prompts.h"
#include "BrisendoKit/LanguageModel/SSE.h"
#include "BrisendoKit/LanguageModel/SSELineReader.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

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

std::string choice(const std::string& deltaJson) {
    return R"(data: {"choices":[{"index":0,"delta":)" + deltaJson + "}]}";
}

std::vector<std::string> splitAll(SSELineReader&& reader, const std::vector<std::string>& parts) {
    std::vector<std::string> lines;
    auto collect = [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    };
    for (const auto& part : parts) reader.feed(part, collect);
    reader.finish(collect);
    return lines;
}

}  // namespace

TEST(LLMClientRequest, IsThePostTheServiceExpectsAndNeedsAnHttpAddress) {
    test::VirtualClock clock;
    test::ManualMainQueue queue(clock);
    const auto request = LLMClient("https://api.deepseek.com/v1", "deepseek-chat", queue, {})
                             .makeRequest(question, "sk-1");
    ASSERT_TRUE(request);
    EXPECT_EQ(std::tuple(request->url, request->method, request->timeoutSeconds),
              std::tuple("https://api.deepseek.com/v1/chat/completions", "POST", 60));
    using Headers = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(request->headers,
              (Headers{{"Authorization", "Bearer sk-1"}, {"Content-Type", "application/json"}}));
    EXPECT_EQ(request->body,
              R"({"model":"deepseek-chat","stream":true,"messages":[{"role":"system",)"
              R"("content":"be brief"},{"role":"user","content":"serendipity"}]})");

    // Text that is not UTF-8 still makes a body.
    const auto odd = LLMClient("http://h/v1", "m", queue, {}).makeRequest({{"user", "a\xFF"}}, "k");
    ASSERT_TRUE(odd);
    EXPECT_TRUE(json::accept(odd->body));
    for (const std::string base : {"", "not a url", "api.deepseek.com/v1", "ftp://host/v1",
                                   "file:///etc", "https://exa mple.com/v1"}) {
        const auto refused = LLMClient(base, "m", queue, {}).makeRequest(question, "k");
        ASSERT_FALSE(refused) << base;
        EXPECT_EQ(refused.error(), LLMError::invalidURL(base));
    }
}

TEST_F(LLMClientTest, StopsAtTheEndMarkerAndReadsOnlyTheStartOfAnErrorPage) {
    ChatServer::Reply r;
    for (const auto* p : {"one", "two", "three"}) r.steps.push_back({1, ChatServer::delta(p)});
    r.steps.push_back({1, "data: [DONE]\n\n" + ChatServer::delta("after")});
    server.reply(r);
    EXPECT_EQ(run(client()).pieces, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(server.requests().at(0).path, "/v1/chat/completions");

    server.reply(ChatServer::error(503, std::string(8 << 20, 'z'), "text/html"));
    EXPECT_EQ(run(client()).llmError(), LLMError::http(503, std::string(160, 'z')));
}

TEST_F(LLMClientTest, AsksForTheKeyAtEveryStreamAndSendsNothingWithout) {
    std::atomic<int> calls{0};
    const std::vector<std::optional<std::string>> keys = {"", std::nullopt, "sk-later\n"};
    const auto key = [&] { return keys.at(calls++); };
    LLMClient remote("http://192.0.2.1/v1", "m", queue, key);  // never contacted
    EXPECT_EQ(run(remote).llmError(), LLMError::noAPIKey());
    EXPECT_EQ(run(remote).llmError(), LLMError::noAPIKey());
    server.reply(ChatServer::answer({"ok"}));
    EXPECT_EQ(run(LLMClient(server.baseURL(), "m", queue, key)).text(), "ok");
    EXPECT_EQ(server.requests().at(0).authorization, "Bearer sk-later");  // as pasted, trimmed
}

TEST(LLMClientRequest, OnlyALoopbackHostIsThisMachine) {
    for (const char* url :
         {"http://127.0.0.1:8080/v1", "http://127.5.5.5/v1", "http://[::1]:1/v1",
          "http://localhost:11434/v1", "https://LOCALHOST./v1", "http://user@127.0.0.1/v1"})
        EXPECT_TRUE(LLMClient::isLoopback(url)) << url;
    for (const char* url :
         {"http://127.0.0.1.evil.com/v1", "http://127.0.0.1@evil.com/v1",
          "http://localhost.evil.com/v1", "http://10.0.0.1/v1", "http://[::2]/v1"})
        EXPECT_FALSE(LLMClient::isLoopback(url)) << url;
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
    ChatServer::Reply stall = ChatServer::answer({"slow"});
    stall.steps.pop_back();  // no [DONE]
    stall.stall = true;
    server.reply(stall);
    auto got = run(client("k", 0.3));
    EXPECT_EQ(got.text(), "slow");
    EXPECT_EQ(got.llmError(), LLMError::timedOut());

    LLMClient refused("http://127.0.0.1:1/v1", "m", queue, [] { return std::string("k"); });
    got = run(refused);
    ASSERT_TRUE(got.llmError());
    EXPECT_EQ(got.llmError()->kind(), LLMError::Kind::transport);
    EXPECT_NE(got.llmError()->description().find("网络出错："), std::string::npos);

    // Keep-alive lines every 20 ms for ten seconds keep the idle time-out away, not the
    // request's deadline.
    ChatServer::Reply alive = ChatServer::answer({"thinking"});
    alive.steps.insert(alive.steps.end() - 1, 500, {20, ": keep-alive\r\n\r\n"});
    server.reply(alive);
    got = run(LLMClient(
        server.baseURL(), "m", queue, [] { return std::string("k"); }, 5, 0.5));
    EXPECT_EQ(got.text(), "thinking");
    EXPECT_EQ(got.llmError(), LLMError::timedOut());
}

TEST(SSE, ReadsDeltasAndTheEndMarkerAndIgnoresEverythingElse) {
    EXPECT_EQ(SSE::parse("data:[DONE]"), SSEEvent::done());
    EXPECT_EQ(SSE::parse("data: \t[DONE] \t"), SSEEvent::done());
    EXPECT_EQ(SSE::parse(choice(R"({"content":"Hi"})")), SSEEvent::delta("Hi"));
    EXPECT_EQ(SSE::parse(R"(data:{"choices":[{"delta":{"content":"Hi"}}]})"),
              SSEEvent::delta("Hi"));
    // Only the first choice counts.
    EXPECT_EQ(SSE::parse(R"(data: {"choices":[{"delta":{"content":"A"}},)"
                         R"({"delta":{"content":"B"}}]})"),
              SSEEvent::delta("A"));
    // Text inside the piece is kept as sent, spaces included.
    EXPECT_EQ(SSE::parse(choice(R"({"content":"  a\nb "})")), SSEEvent::delta("  a\nb "));

    const std::vector<std::string> ignored = {
        ": keep-alive",
        "DATA: [DONE]",
        "data: [DONE]x",
        "data: not json",
        choice(R"({"content":""})"),
        choice(R"({"role":"assistant"})"),
        choice(R"({"content":42})"),
        R"(data: {"choices":{"0":{"delta":{"content":"Hi"}}}})",
        R"(data: {"choices":[null,{"delta":{"content":"Hi"}}]})",
        R"(data: [{"choices":[{"delta":{"content":"Hi"}}]}])"};
    for (const auto& line : ignored) EXPECT_EQ(SSE::parse(line), SSEEvent::ignore()) << line;
}

TEST(SSE, RepairsIllFormedUtf8InAPiece) {
    const std::string line = choice("{\"content\":\"a\xC3\x28z\"}");
    const auto event = SSE::parse(line);
    ASSERT_EQ(event.kind, SSEEvent::Kind::delta);
    EXPECT_EQ(event.text, "a\xEF\xBF\xBD(z");
    // Escaped characters come back as UTF-8.
    EXPECT_EQ(SSE::parse(choice(R"({"content":"\u4f60\ud83d\ude00"})")), SSEEvent::delta("你😀"));
}

TEST(SSELineReader, JoinsLinesAcrossReadsWhereverTheyAreCut) {
    const std::string body = "data: a\r\n\r\n: ka\ndata: b\rdata: c\r\n\ntail";
    const std::vector<std::string> expected = {"data: a", "", ": ka", "data: b",
                                               "data: c", "", "tail"};
    EXPECT_EQ(splitAll(SSELineReader(), {body}), expected);
    for (std::size_t cut = 1; cut < body.size(); ++cut)
        EXPECT_EQ(splitAll(SSELineReader(), {body.substr(0, cut), body.substr(cut)}), expected)
            << cut;
    std::vector<std::string> bytes;
    for (char c : body) bytes.emplace_back(1, c);
    EXPECT_EQ(splitAll(SSELineReader(), bytes), expected);
}

TEST(SSELineReader, DropsAnOverlongLineWithoutKeepingIt) {
    SSELineReader reader(16);
    std::vector<std::string> lines;
    auto collect = [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    };
    reader.feed("short\nthis line is far too long", collect);
    EXPECT_EQ(reader.buffered(), 0u);
    reader.feed(std::string(1000, 'x'), collect);
    EXPECT_EQ(reader.buffered(), 0u);
    reader.feed("xx\r\nnext\n", collect);
    reader.feed(std::string(40, 'y') + "\nlast", collect);  // too long within one read
    reader.finish(collect);
    EXPECT_EQ(lines, (std::vector<std::string>{"short", "next", "last"}));
    EXPECT_EQ(reader.droppedLines(), 2u);
}

TEST(LLMError, ReadsTheServersMessageFromAFailedResponse) {
    EXPECT_EQ(LLMError::fromResponse(401, R"({"error":{"message":"Invalid key","type":"auth"}})"),
              LLMError::http(401, "Invalid key"));

    // Characters, not bytes: 200 Chinese characters keep 160.
    std::string chinese;
    for (int i = 0; i < 200; ++i) chinese += "错";
    EXPECT_EQ(LLMError::fromResponse(502, chinese).message().size(), 160u * 3);

    for (auto [status, body] : {std::pair{402, R"({"error":{"code":"insufficient_user_quota"}})"},
                                {500, "... insufficient_user_quota ..."}})
        EXPECT_EQ(LLMError::fromResponse(status, body), LLMError::quota());
}

TEST(Prompts, AskNamesTheInterfaceLanguageAndTranslationGoesToTheOtherLanguage) {
    test::TempDir dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "d.json");
    Localizer::setPreferenceDefaults(defaults);
    Localizer::setLanguageOverride("de");
    EXPECT_NE(Prompts::ask().find("用德语回答"), std::string::npos) << Prompts::ask();
    Localizer::setLanguageOverride(std::nullopt);
    defaults->set("uiLanguage", "ko");
    EXPECT_EQ(Prompts::answerLanguage(), "韩语");
    Localizer::setPreferenceDefaults(nullptr);
    Localizer::setLanguageOverride("zh-Hans");

    EXPECT_EQ(
        Prompts::askMessages("serendipity", "Safari"),
        (std::vector<ChatMessage>{{"system", Prompts::ask()},
                                  {"user", "选中的文字：\nserendipity\n\n（来自：Safari）"}}));
    EXPECT_EQ(Prompts::askMessages("x", std::nullopt)[1].content, "选中的文字：\nx");

    const std::string toEnglish = Prompts::translateSystem("今天天气很好");
    const std::string toChinese = Prompts::translateSystem("The weather is nice");
    EXPECT_NE(toEnglish.find("英文"), std::string::npos);
    EXPECT_NE(toChinese.find("简体中文"), std::string::npos);
    for (const char* text : {"用 Docker 部署 the service", "12345"})
        EXPECT_EQ(Prompts::translateSystem(text), toChinese) << text;
    EXPECT_EQ(Prompts::translateMessages("你好"),
              (std::vector<ChatMessage>{{"system", toEnglish}, {"user", "你好"}}));
}
