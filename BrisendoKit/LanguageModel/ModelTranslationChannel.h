#pragma once

#include <functional>
#include <memory>

#include "BrisendoKit/LanguageModel/TranslationChannel.h"

namespace pivorel {

// The user's own model as a translation engine: it gets the whole conversation, so it
// takes follow-up questions too.
class ModelTranslationChannel final : public TranslationChannel {
  public:
    // `ready` answers whether the model can answer (a key is stored, or it runs on this
    // machine); called on the main thread, so it should answer from a lookup already made.
    ModelTranslationChannel(std::shared_ptr<ChatStreaming> client, std::function<bool()> ready)
        : client_(std::move(client)), ready_(std::move(ready)) {}

    std::string id() const override { return "model"; }
    bool supportsFollowUp() const override { return true; }
    bool canHandle(const std::string&) override { return ready_ && ready_(); }
    std::unique_ptr<Cancellable> translate(const std::string&,
                                           const std::vector<ChatMessage>& messages,
                                           ChatStreaming::OnPiece onPiece,
                                           ChatStreaming::OnFinish onFinish) override {
        return client_->stream(messages, std::move(onPiece), std::move(onFinish));
    }

  private:
    std::shared_ptr<ChatStreaming> client_;
    std::function<bool()> ready_;
};

}  // namespace pivorel
