#pragma once

#include <memory>
#include <string>
#include <vector>

#include "BrisendoKit/LanguageModel/ChatStreaming.h"

namespace pivorel {

// One translation engine the router can hand a text to.
class TranslationChannel {
  public:
    virtual ~TranslationChannel() = default;

    virtual std::string id() const = 0;
    // Whether it can answer a conversation with more than one question.
    virtual bool supportsFollowUp() const = 0;
    // Whether it can translate `text` now. Called on the main thread: must be quick.
    virtual bool canHandle(const std::string& text) = 0;
    // Translates `text`; `messages` is the whole conversation. Same contract as
    // ChatStreaming::stream.
    [[nodiscard]] virtual std::unique_ptr<Cancellable> translate(
        const std::string& text, const std::vector<ChatMessage>& messages,
        ChatStreaming::OnPiece onPiece, ChatStreaming::OnFinish onFinish) = 0;
};

}  // namespace pivorel
