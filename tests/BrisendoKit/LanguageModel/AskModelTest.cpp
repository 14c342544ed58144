#include "BrisendoKit/LanguageModel/AskModel.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Localization/L.h"

using namespace pivorel;

namespace {

// A chat client the test drives by hand: pieces and the end go to the latest request.
struct ScriptedChat final : ChatStreaming {
    struct Call {
        std::vector<ChatMessage> messages;
        OnPiece onPiece;
        OnFinish onFinish;
        bool cancelled = false;
    };
    struct Handle final : Cancellable {
        explicit Handle(std::shared_ptr<Call> c) : call(std::move(c)) {}
        ~Handle() override { cancel(); }
        void cancel() override { call->cancelled = true; }
        std::shared_ptr<Call> call;
    };
    std::unique_ptr<Cancellable> stream(std::vector<ChatMessage> messages, OnPiece onPiece,
                                        OnFinish onFinish) override {
        calls.push_back(std::make_shared<Call>(
            Call{std::move(messages), std::move(onPiece), std::move(onFinish)}));
        return std::make_unique<Handle>(calls.back());
    }
    void piece(const std::string& text) {
        if (!calls.back()->cancelled) calls.back()->onPiece(text);
    }
    void finish(std::optional<StreamError> error = std::nullopt) {
        if (!calls.back()->cancelled) calls.back()->onFinish(error);
    }
    std::vector<std::shared_ptr<Call>> calls;
};

const std::vector<ChatMessage> initial = {{"system", "sys"}, {"user", "选中的文字：\nx"}};

std::vector<std::string> roles(const std::vector<ChatMessage>& messages) {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.role);
    return out;
}

}  // namespace

TEST(AskModel, StreamsAnAnswerCarriesTheHistoryIntoFollowUpsAndArchivesTheTranscript) {
    auto chat = std::make_shared<ScriptedChat>();
    std::vector<std::string> archived;
    AskModel model(AskKind::ask, chat, initial,
                   [&](const std::string& t) { archived.push_back(t); });
    model.start();
    chat->piece("Hel");
    chat->piece("lo");
    EXPECT_EQ(model.lastAnswer(), "Hello");  // while still streaming
    EXPECT_EQ(model.history().size(), 2u);
    // A follow-up while the answer streams is kept for later.
    model.setFollowUp("  why?\n");
    model.sendFollowUp();
    EXPECT_EQ(model.followUp(), "  why?\n");
    EXPECT_EQ(chat->calls.size(), 1u);
    chat->finish();
    model.sendFollowUp();
    EXPECT_EQ(model.followUp(), "");
    ASSERT_EQ(chat->calls.size(), 2u);
    EXPECT_EQ(roles(chat->calls[1]->messages),
              (std::vector<std::string>{"system", "user", "assistant", "user"}));
    EXPECT_EQ(chat->calls[1]->messages.back().content, "why?");
    chat->piece("Because.");
    chat->finish();
    EXPECT_EQ(model.transcript(), "答：Hello\n\n问：why?\n\n答：Because.");

    // A blank follow-up is not sent.
    model.setFollowUp(" \n\t\u3000");
    model.sendFollowUp();
    EXPECT_EQ(model.followUp(), " \n\t\u3000");
    EXPECT_EQ(chat->calls.size(), 2u);

    model.archive();
    model.archive();  // a second press stores no second copy
    EXPECT_TRUE(model.archived());
    EXPECT_EQ(archived, (std::vector<std::string>{model.transcript()}));
}

TEST(AskModel, ShowsFailuresAndKeepsTextThatArrivedBeforeThem) {
    auto chat = std::make_shared<ScriptedChat>();
    AskModel model(AskKind::translate, chat, initial);
    model.start();
    chat->finish(LLMError::noAPIKey());
    EXPECT_EQ(model.errorText(), "还没有模型密钥：托盘 → 设置… 里填入 API Key");

    // A new attempt clears the error; a failure after text keeps the text.
    model.start();
    EXPECT_EQ(model.errorText(), std::nullopt);
    chat->piece("half");
    chat->finish(LLMError::transport("reset"));
    EXPECT_EQ(model.errorText(), "网络出错：reset");
    EXPECT_EQ(model.turns().at(0).text, "half");
    EXPECT_EQ(model.history().back(), (ChatMessage{"assistant", "half"}));
}

TEST(AskModel, CancelKeepsPartialTextOutOfTheHistory) {
    auto chat = std::make_shared<ScriptedChat>();
    AskModel model(AskKind::ask, chat, initial);
    model.start();
    chat->piece("partial");
    model.cancel();
    EXPECT_EQ(model.errorText(), std::nullopt);
    EXPECT_EQ(model.turns().back().text, "partial");
    EXPECT_EQ(model.history(), initial);
    EXPECT_TRUE(chat->calls[0]->cancelled);

    // The next question goes without the cut-off answer.
    model.setFollowUp("again");
    model.sendFollowUp();
    EXPECT_EQ(roles(chat->calls[1]->messages),
              (std::vector<std::string>{"system", "user", "user"}));

    // Destroying the model stops its answer too.
    {
        AskModel other(AskKind::ask, chat, initial);
        other.start();
    }
    EXPECT_TRUE(chat->calls.back()->cancelled);
}

TEST(AskModel, AnAnswerStopsAtTheLimitWithTheNoteAndWholeCharacters) {
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
        auto chat = std::make_shared<ScriptedChat>();
        AskModel model(AskKind::ask, chat, {{"user", "q"}});
        model.start();
        const auto& call = chat->calls.back();
        for (std::size_t sent = 0; sent <= limit && !call->cancelled; sent += c.piece.size())
            chat->piece(c.piece);
        ASSERT_TRUE(call->cancelled);
        call->onPiece(c.piece);  // a late piece changes nothing

        EXPECT_FALSE(model.isStreaming());
        const std::string& shown = model.turns().back().text;
        const std::string note = "\n" + L("(已截断)");
        ASSERT_TRUE(shown.ends_with(note));
        EXPECT_EQ(shown.size(), c.kept + note.size());
        EXPECT_EQ(model.history().back().content, shown.substr(0, c.kept));
        EXPECT_FALSE(model.errorText());
    }
}
