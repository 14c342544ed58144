#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "BrisendoKit/LanguageModel/Cancellable.h"
#include "BrisendoKit/LanguageModel/ChatMessage.h"
#include "BrisendoKit/LanguageModel/LLMError.h"
#include "BrisendoKit/LanguageModel/TranslationError.h"

namespace pivorel {

// Why a stream ended early.
using StreamError = std::variant<LLMError, TranslationError>;

// The text shown to the user, in the interface language.
std::string description(const StreamError& error);

// Anything that answers a conversation piece by piece: the model client, and the
// translation router in front of it.
class ChatStreaming {
  public:
    using OnPiece = std::function<void(const std::string& piece)>;
    using OnFinish = std::function<void(const std::optional<StreamError>& error)>;

    virtual ~ChatStreaming() = default;

    // Starts answering `messages` and returns at once. Call on the main thread; the
    // callbacks run there too, through the main queue: `onPiece` for each non-empty piece
    // in the order it arrived, then `onFinish` exactly once (no error: the answer is
    // complete). After the handle is cancelled or destroyed no callback runs.
    [[nodiscard]] virtual std::unique_ptr<Cancellable> stream(std::vector<ChatMessage> messages,
                                                              OnPiece onPiece,
                                                              OnFinish onFinish) = 0;
};

}  // namespace pivorel
