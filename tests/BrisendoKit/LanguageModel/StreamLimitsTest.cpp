#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/LanguageModel/ChatServer.h"
#include "BrisendoKit/LanguageModel/LLMClient.h"
#include "BrisendoKit/Localization/L.h"

using namespace pivorel;
using test::ChatServer;
using test::Collected;

namespace {

// Hands every piece straight to the model; remembers whether the model stopped it.
class DirectChat final : public ChatStreaming {
  public:
    std::unique_ptr<Cancellable> stream(std::vector<ChatMessage>, OnPiece piece,
                                        OnFinish finish) override {
        onPiece = std::move(piece);
        onFinish = std::move(finish);
        cancelled = false;
        return std::make_unique<Handle>(this);
    }
    OnPiece onPiece;
    OnFinish onFinish;
    bool cancelled = false;

  private:
    struct Handle final : Cancellable {
        explicit Handle(DirectChat* c) : chat(c) {}
        void cancel() override { chat->cancelled = true; }
        DirectChat* chat;
    };
};

}  // namespace

TEST(StreamLimits, AnAnswerStopsAtTheLimitWithTheNoteAndWholeCharacters) {
    constexpr std::size_t limit = AskModel::maxAnswerBytes;
    const std::string han = "是";  // three bytes
    struct Case {
        const char* name;
        std::string piece;
        std::size_t kept;  // bytes of answer kept
    };
    const std::vector<Case> cases = {
        {"ascii", std::string(1000, 'a'), limit},
        // 256 KiB is not a multiple of three: the character across the limit goes whole.
        {"han",
         [&] {
             std::string s;
             for (int i = 0; i < 300; ++i) s += han;
             return s;
         }(),
         limit / 3 * 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto chat = std::make_shared<DirectChat>();
        AskModel model(AskKind::ask, chat, {{"user", "q"}});
        model.start();
        for (std::size_t sent = 0; sent <= limit && !chat->cancelled; sent += c.piece.size())
            chat->onPiece(c.piece);
        ASSERT_TRUE(chat->cancelled);
        chat->onPiece(c.piece);  // a late piece changes nothing

        EXPECT_FALSE(model.isStreaming());
        const std::string& shown = model.turns().back().text;
        const std::string note = "\n" + L("(已截断)");
        ASSERT_TRUE(shown.ends_with(note));
        EXPECT_EQ(shown.size(), c.kept + note.size());
        EXPECT_EQ(model.history().back().content, shown.substr(0, c.kept));
        EXPECT_FALSE(model.errorText());
    }
}

TEST(StreamLimits, KeepAliveLinesDoNotHoldARequestPastItsDeadline) {
    test::VirtualClock clock;
    test::ManualMainQueue queue{clock};
    ChatServer server;
    ChatServer::Reply r;
    r.steps = {{0, ChatServer::role()}, {0, ChatServer::delta("thinking")}};
    // Far longer than the deadline, never quiet for as long as the idle time-out.
    for (int i = 0; i < 500; ++i) r.steps.push_back({20, ": keep-alive\r\n\r\n"});
    r.steps.push_back({0, "data: [DONE]\r\n\r\n"});
    server.reply(r);

    LLMClient client(
        server.baseURL(), "m", queue, [] { return std::string("k"); }, 5, 0.5);
    Collected got;
    auto handle = client.stream({{"user", "q"}}, got.onPiece(), got.onFinish());
    // The server would go on for ten seconds.
    ASSERT_TRUE(test::pumpUntil(
        queue, [&] { return got.finished; }, std::chrono::seconds(5)));
    EXPECT_EQ(got.text(), "thinking");
    EXPECT_EQ(got.llmError(), LLMError::timedOut());
}
