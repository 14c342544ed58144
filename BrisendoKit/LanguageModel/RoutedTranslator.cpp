#include "BrisendoKit/LanguageModel/RoutedTranslator.h"

#include "BrisendoKit/LanguageModel/StreamTask.h"

namespace pivorel {

namespace {

// One routed stream; lives on the main thread once its channel list has arrived.
class Route : public std::enable_shared_from_this<Route> {
  public:
    Route(std::vector<ChatMessage> messages, ChatStreaming::OnPiece onPiece,
          ChatStreaming::OnFinish onFinish)
        : messages_(std::move(messages)),
          onPiece_(std::move(onPiece)),
          onFinish_(std::move(onFinish)) {
        int userMessages = 0;
        for (const auto& message : messages_) {
            if (message.role == "user") {
                text_ = message.content;
                ++userMessages;
            }
        }
        followUp_ = userMessages >= 2;
    }

    void begin(RoutedTranslator::Channels channels) {
        channels_ = std::move(channels);
        tryNext();
    }

    void cancel() {
        cancelled_ = true;
        onPiece_ = nullptr;
        onFinish_ = nullptr;
        if (auto current = std::move(current_)) current->cancel();
    }

  private:
    void tryNext() {
        while (!cancelled_) {
            if (next_ >= channels_.size()) {
                finish(remembered_ ? *remembered_
                                   : StreamError(TranslationError::nothingAvailable));
                return;
            }
            const auto channel = channels_[next_++];
            if (!channel || (followUp_ && !channel->supportsFollowUp())) continue;
            if (!channel->canHandle(text_)) continue;
            passedPiece_ = false;
            std::weak_ptr<Route> weak = weak_from_this();
            current_ = channel->translate(
                text_, messages_,
                [weak](const std::string& piece) {
                    if (auto self = weak.lock()) self->piece(piece);
                },
                [weak](const std::optional<StreamError>& error) {
                    if (auto self = weak.lock()) self->channelFinished(error);
                });
            return;
        }
    }

    void piece(const std::string& text) {
        if (cancelled_) return;
        passedPiece_ = true;
        if (onPiece_) onPiece_(text);
    }

    void channelFinished(const std::optional<StreamError>& error) {
        if (cancelled_) return;
        if (error && !passedPiece_) {
            remembered_ = *error;
            tryNext();
            return;
        }
        finish(error);
    }

    void finish(const std::optional<StreamError>& error) {
        auto onFinish = std::move(onFinish_);
        onFinish_ = nullptr;
        onPiece_ = nullptr;
        cancelled_ = true;  // nothing more to do
        if (onFinish) onFinish(error);
    }

    std::vector<ChatMessage> messages_;
    std::string text_;
    bool followUp_ = false;
    ChatStreaming::OnPiece onPiece_;
    ChatStreaming::OnFinish onFinish_;
    RoutedTranslator::Channels channels_;
    std::size_t next_ = 0;
    std::optional<StreamError> remembered_;
    bool passedPiece_ = false;
    bool cancelled_ = false;
    std::unique_ptr<Cancellable> current_;
};

class RouteHandle final : public Cancellable {
  public:
    RouteHandle(std::shared_ptr<Route> route, std::unique_ptr<Cancellable> lookup)
        : route_(std::move(route)), lookup_(std::move(lookup)) {}
    ~RouteHandle() override { cancel(); }
    void cancel() override {
        if (lookup_) lookup_->cancel();
        route_->cancel();
    }

  private:
    std::shared_ptr<Route> route_;
    std::unique_ptr<Cancellable> lookup_;  // the worker that fetches the channel list
};

}  // namespace

RoutedTranslator::Channels RoutedTranslator::order(TranslateEngine engine,
                                                   std::shared_ptr<TranslationChannel> system,
                                                   std::shared_ptr<TranslationChannel> model,
                                                   bool modelReady) {
    switch (engine) {
        case TranslateEngine::system:
            return {std::move(system)};
        case TranslateEngine::model:
            return {std::move(model)};
        case TranslateEngine::automatic:
            break;
    }
    if (modelReady) return {std::move(model), std::move(system)};
    return {std::move(system), std::move(model)};
}

std::unique_ptr<Cancellable> RoutedTranslator::stream(std::vector<ChatMessage> messages,
                                                      OnPiece onPiece, OnFinish onFinish) {
    auto route =
        std::make_shared<Route>(std::move(messages), std::move(onPiece), std::move(onFinish));
    // The lookup task only carries the channel list back to the main thread.
    auto lookup = std::make_shared<StreamTask>(queue_, nullptr, nullptr);
    auto handle = StreamTask::start(lookup, [lookup, route, source = channels_] {
        auto channels = source ? source() : Channels{};
        lookup->post([route, channels = std::move(channels)]() mutable {
            route->begin(std::move(channels));
        });
    });
    return std::make_unique<RouteHandle>(std::move(route), std::move(handle));
}

}  // namespace pivorel
