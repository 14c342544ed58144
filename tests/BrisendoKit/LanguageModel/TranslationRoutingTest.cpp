#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "BrisendoKit/LanguageModel/ChatServer.h"
#include "BrisendoKit/LanguageModel/LLMClient.h"
#include "BrisendoKit/LanguageModel/ModelTranslationChannel.h"
#include "BrisendoKit/LanguageModel/Prompts.h"
#include "BrisendoKit/LanguageModel/RoutedTranslator.h"
#include "BrisendoKit/LanguageModel/SystemTranslationChannel.h"
#include "BrisendoKit/LanguageModel/TranslateEngine.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

using namespace pivorel;
using test::ChatServer;
using test::Collected;

namespace {

// An offline translator with chosen packs; it writes "[source>target] text".
struct FakeOnDeviceTranslator final : OnDeviceTranslator {
    std::set<std::pair<std::string, std::string>> installed;
    std::atomic<int> translations{0};

    bool hasEngine() const override { return true; }
    bool isInstalled(std::string_view source, std::string_view target) override {
        return installed.count({std::string(source), std::string(target)}) > 0;
    }
    std::optional<std::string> translate(std::string_view text, std::string_view source,
                                         std::string_view target) override {
        ++translations;
        return "[" + std::string(source) + ">" + std::string(target) + "] " + std::string(text);
    }
};

class Routing : public ::testing::Test {
  protected:
    Routing() { device->installed = {{"en", "zh-Hans"}, {"zh-Hans", "en"}, {"ja", "zh-Hans"}}; }

    // The translator the action starter builds: channels read afresh at each stream.
    std::shared_ptr<RoutedTranslator> translator(TranslateEngine engine, bool hasKey) {
        auto client = std::make_shared<LLMClient>(
            server.baseURL(), "deepseek-chat", queue, [hasKey]() -> std::optional<std::string> {
                return hasKey ? std::optional<std::string>("sk") : std::nullopt;
            });
        return std::make_shared<RoutedTranslator>(queue, [=, this] {
            auto system = std::make_shared<SystemTranslationChannel>(queue, device);
            auto model =
                std::make_shared<ModelTranslationChannel>(client, [hasKey] { return hasKey; });
            return RoutedTranslator::order(engine, system, model, hasKey);
        });
    }
    Collected run(const std::shared_ptr<RoutedTranslator>& t,
                  const std::vector<ChatMessage>& messages) {
        Collected got;
        auto handle = t->stream(messages, got.onPiece(), got.onFinish());
        EXPECT_TRUE(test::pumpUntil(queue, [&] { return got.finished; }));
        return got;
    }
    static bool nothingAvailable(const Collected& got) {
        return got.error && std::holds_alternative<TranslationError>(*got.error);
    }

    test::VirtualClock clock;
    test::ManualMainQueue queue{clock};
    ChatServer server;
    std::shared_ptr<FakeOnDeviceTranslator> device = std::make_shared<FakeOnDeviceTranslator>();
};

}  // namespace

TEST_F(Routing, AutomaticWithAKeyFallsBackToTheDeviceWhenTheModelFailsFirst) {
    server.reply(ChatServer::answer({"你好，", "世界"}));
    auto got = run(translator(TranslateEngine::automatic, true),
                   Prompts::translateMessages("Hello, world"));
    EXPECT_EQ(got.text(), "你好，世界");
    EXPECT_EQ(device->translations, 0);

    server.reply(ChatServer::error(401, R"({"error":{"message":"bad key"}})"));
    got = run(translator(TranslateEngine::automatic, true),
              Prompts::translateMessages("The weather is lovely today"));
    EXPECT_EQ(got.text(), "[en>zh-Hans] The weather is lovely today");
    EXPECT_EQ(got.error, std::nullopt);

    // When the device cannot take it either, the model's error is what shows.
    device->installed.clear();
    got = run(translator(TranslateEngine::automatic, true),
              Prompts::translateMessages("The weather is lovely today"));
    EXPECT_EQ(got.llmError(), LLMError::http(401, "bad key"));
}

TEST_F(Routing, AutomaticWithoutAKeyTranslatesOnTheDevice) {
    auto t = translator(TranslateEngine::automatic, false);
    EXPECT_EQ(run(t, Prompts::translateMessages("こんにちは、元気ですか")).text(),
              "[ja>zh-Hans] こんにちは、元気ですか");
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Routing, SystemEngineNeedsPacksAndAPlan) {
    device->installed.clear();
    EXPECT_TRUE(nothingAvailable(run(translator(TranslateEngine::system, true),
                                     Prompts::translateMessages("Good morning everyone"))));
    device->installed = {{"en", "zh-Hans"}};
    EXPECT_TRUE(nothingAvailable(
        run(translator(TranslateEngine::system, true), Prompts::translateMessages("42 / 7 = 6"))));
}

TEST_F(Routing, FollowUpsNeverGoToTheDevice) {
    auto messages = Prompts::translateMessages("Good morning everyone");
    messages.push_back({"assistant", "大家早上好"});
    messages.push_back({"user", "Why is it plural?"});

    EXPECT_TRUE(nothingAvailable(run(translator(TranslateEngine::system, true), messages)));

    server.reply(ChatServer::answer({"Because ", "everyone."}));
    EXPECT_EQ(run(translator(TranslateEngine::automatic, true), messages).text(),
              "Because everyone.");
    const auto body = nlohmann::json::parse(server.requests().back().body);
    EXPECT_EQ(body["messages"].size(), 4u);
    EXPECT_EQ(device->translations, 0);
}

TEST_F(Routing, AFailureAfterTextIsNotRetriedAndCancelStopsTheRoute) {
    ChatServer::Reply drop;
    drop.steps = {{0, ChatServer::delta("半句")}};
    drop.dropConnection = true;
    server.reply(drop);
    const auto got = run(translator(TranslateEngine::automatic, true),
                         Prompts::translateMessages("Half a sentence here"));
    EXPECT_EQ(got.text(), "半句");
    ASSERT_TRUE(got.llmError());
    EXPECT_EQ(got.llmError()->kind(), LLMError::Kind::transport);
    EXPECT_EQ(device->translations, 0);

    // Cancelled after a piece: nothing more, and no other channel tries.
    ChatServer::Reply stall;
    stall.steps = {{0, ChatServer::delta("慢")}};
    stall.stall = true;
    server.reply(stall);
    Collected cancelled;
    auto handle = translator(TranslateEngine::automatic, true)
                      ->stream(Prompts::translateMessages("Slow one"), cancelled.onPiece(),
                               cancelled.onFinish());
    ASSERT_TRUE(test::pumpUntil(queue, [&] { return !cancelled.pieces.empty(); }));
    handle.reset();
    queue.runReady();
    EXPECT_FALSE(cancelled.finished || device->translations > 0);
}
