#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "BrisendoKit/LanguageModel/ChatStreaming.h"
#include "BrisendoKit/LanguageModel/TranslateEngine.h"
#include "BrisendoKit/LanguageModel/TranslationChannel.h"

namespace pivorel {

class MainQueue;

// Sends a translation to the first channel that can take it and falls back to the next
// when one fails before any text; presents itself as a chat client, so a translation
// conversation runs exactly like an ask.
class RoutedTranslator final : public ChatStreaming {
  public:
    using Channels = std::vector<std::shared_ptr<TranslationChannel>>;
    // Called on a worker thread at the start of every stream, so the engine choice and
    // the key are read afresh each time; it may block briefly (a secret-store lookup).
    using ChannelSource = std::function<Channels()>;

    RoutedTranslator(MainQueue& queue, ChannelSource channels)
        : queue_(queue), channels_(std::move(channels)) {}

    // The channels for an engine choice: automatic tries the model first when it can
    // answer and the on-device translator first otherwise; the others use one channel.
    static Channels order(TranslateEngine engine, std::shared_ptr<TranslationChannel> system,
                          std::shared_ptr<TranslationChannel> model, bool modelReady);

    // The text is the last "user" message; with two or more, the request is a follow-up,
    // which only channels that support follow-ups see. Ends with the last channel's
    // error, or TranslationError::nothingAvailable when no channel tried.
    [[nodiscard]] std::unique_ptr<Cancellable> stream(std::vector<ChatMessage> messages,
                                                      OnPiece onPiece, OnFinish onFinish) override;

  private:
    MainQueue& queue_;
    ChannelSource channels_;
};

}  // namespace pivorel
