#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/LanguageModel/AskKind.h"
#include "BrisendoKit/LanguageModel/ChatStreaming.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// One conversation with the model (an ask or a translation) as the panel shows it: the
// visible turns, the message history sent with every request, the streaming state and
// the error text. Main thread only; `changed` is emitted after every change of state.
class AskModel {
  public:
    // An answer is cut at this many bytes of text and ends with the truncation note; the
    // request stops there.
    static constexpr std::size_t maxAnswerBytes = 256 * 1024;

    struct Turn {
        std::uint64_t id;  // unique within the process, made with the turn
        std::string role;  // "user" or "assistant"
        std::string text;  // grows while the answer streams, only ever at its end

        friend bool operator==(const Turn&, const Turn&) = default;
    };

    // Receives the transcript when the conversation is archived.
    using Archive = std::function<void(const std::string& transcript)>;

    AskModel(AskKind kind, std::shared_ptr<ChatStreaming> client,
             std::vector<ChatMessage> initialMessages, Archive archive = {});
    // Cancels a running answer.
    ~AskModel();
    AskModel(const AskModel&) = delete;
    AskModel& operator=(const AskModel&) = delete;

    AskKind kind() const { return kind_; }
    const std::vector<Turn>& turns() const { return turns_; }
    bool isStreaming() const { return isStreaming_; }
    const std::optional<std::string>& errorText() const { return errorText_; }
    // A passing state shown where an error would be, while there is none (the key waits
    // for the keyring to be unlocked).
    const std::optional<std::string>& status() const { return status_; }
    void setStatus(std::optional<std::string> text);
    const std::string& followUp() const { return followUp_; }
    void setFollowUp(std::string text);
    bool archived() const { return archived_; }
    const std::vector<ChatMessage>& history() const { return history_; }

    // Streams the first answer.
    void start();
    // Sends the trimmed follow-up text as the next question with the whole history.
    // Blank text, or a question while an answer streams, is ignored (the field keeps it).
    void sendFollowUp();
    // Stops the running answer. Its text so far stays visible but is not added to history.
    void cancel();
    // Hands the transcript to the archive and marks the conversation archived; nothing
    // happens without turns.
    void archive();

    // The text of the last assistant turn, so far while it streams; empty without one.
    std::string lastAnswer() const;
    // "问：…" and "答：…" turns in order, separated by blank lines.
    std::string transcript() const;

    Signal<> changed;

  private:
    void stream();
    void piece(const std::string& text);
    void finished(const std::optional<StreamError>& error);
    void truncate();

    AskKind kind_;
    std::shared_ptr<ChatStreaming> client_;
    std::vector<ChatMessage> history_;
    Archive archive_;
    std::vector<Turn> turns_;
    bool isStreaming_ = false;
    std::optional<std::string> errorText_;
    std::optional<std::string> status_;
    std::string followUp_;
    bool archived_ = false;
    std::unique_ptr<Cancellable> task_;
};

}  // namespace pivorel
