#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BrisendoKit/LanguageModel/ChatStreaming.h"
#include "BrisendoKit/Storage/Endpoints.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

class MainQueue;

// Streams answers from an OpenAI-compatible chat-completions endpoint over HTTP with
// server-sent events. One client per conversation; every stream() is independent (its own
// key lookup, request and worker thread). The client is not changed after creation.
class LLMClient final : public ChatStreaming {
  public:
    // Answers the stored API key; called on the stream's worker thread at the start of
    // every stream, so a key stored after the client was made is used.
    using KeyProvider = std::function<std::optional<std::string>()>;

    static constexpr std::string_view defaultBaseURL = Endpoints::defaultLLMBaseURL;
    static constexpr std::string_view defaultModel = Endpoints::defaultLLMModel;
    static constexpr std::string_view relayBaseURL = "https://api.kimi.com/coding/v1";
    static constexpr std::string_view relayModel = "kimi-for-coding-highspeed";

    // Seconds without any byte from the server after which a request gives up.
    static constexpr double defaultTimeout = 60;
    // Seconds after which a request gives up however steadily bytes arrive: keep-alive
    // lines reset the idle time-out but cannot hold a request open for good.
    static constexpr double defaultDeadline = 5 * 60;
    // An event line longer than this is dropped unread.
    static constexpr std::size_t maxLineBytes = std::size_t{1} << 20;
    // How much of a failed response's body is read: enough for any error message.
    static constexpr std::size_t errorBodyLimit = 64 * 1024;

    struct Request {
        std::string url;
        std::string method;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        double timeoutSeconds = defaultTimeout;
        double deadlineSeconds = defaultDeadline;
    };

    LLMClient(std::string baseURL, std::string model, MainQueue& queue, KeyProvider apiKey,
              double timeoutSeconds = defaultTimeout, double deadlineSeconds = defaultDeadline);

    const std::string& baseURL() const { return baseURL_; }
    const std::string& model() const { return model_; }

    // Whether the host of `baseURL` is this machine: a loopback address (127.0.0.0/8, ::1)
    // or "localhost". A model served there needs no key.
    static bool isLoopback(std::string_view baseURL);

    // The request for `messages`: POST to the base address with "/chat/completions"
    // appended as plain text, the bearer key (none when `key` is empty) and a JSON body
    // {"model", "stream": true, "messages"}. Fails with invalidURL when that address is not
    // an http(s) URL.
    Result<Request, LLMError> makeRequest(const std::vector<ChatMessage>& messages,
                                          std::string_view key) const;

    [[nodiscard]] std::unique_ptr<Cancellable> stream(std::vector<ChatMessage> messages,
                                                      OnPiece onPiece, OnFinish onFinish) override;

  private:
    std::string baseURL_;
    std::string model_;
    MainQueue& queue_;
    KeyProvider apiKey_;
    double timeoutSeconds_;
    double deadlineSeconds_;
};

}  // namespace pivorel
