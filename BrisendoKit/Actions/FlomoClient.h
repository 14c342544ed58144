#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

class SecretStore;

// How sending one note to flomo ended.
struct FlomoResult {
    enum class Kind { dryRun, failed, sent };

    Kind kind = Kind::sent;
    // The note that would have been sent (dryRun) or the reason shown to the user (failed).
    std::string text;

    static FlomoResult dryRun(std::string content) { return {Kind::dryRun, std::move(content)}; }
    static FlomoResult failed(std::string message) { return {Kind::failed, std::move(message)}; }
    static FlomoResult sent() { return {Kind::sent, {}}; }

    friend bool operator==(const FlomoResult&, const FlomoResult&) = default;
};

// Sends the selected text as a note to the user's flomo webhook: one JSON POST
// {"content": note}. flomo accepted the note exactly when the reply is a JSON object whose
// "code" is the integer 0; the HTTP status says nothing. Nothing is retried or queued.
class FlomoClient {
  public:
    using WebhookSource = std::function<std::optional<std::string>()>;
    using Completion = std::function<void(FlomoResult)>;

    static constexpr double defaultTimeoutSeconds = 20;
    static constexpr std::string_view webhookAccount = "flomo-webhook";
    // A failure reply's text is cut to this many characters for the notice.
    static constexpr std::size_t maxMessageLength = 120;

    // `webhook` is asked once per send, on the sending thread (a secret store may block).
    // Sends run through `runInBackground`, whose owner stops it before `queue` goes.
    FlomoClient(bool dry, MainQueue& queue, WebhookSource webhook, Worker::Runner runInBackground);

    // The webhook address kept in `secrets` (which must outlive every send).
    static WebhookSource storedWebhook(SecretStore& secrets);

    // Sends in the background and hands the result to `done` on the main queue. With `dry`
    // nothing is read or sent: the result is the note that would have gone.
    void send(std::string text, std::optional<std::string> app, std::optional<std::string> url,
              Completion done) const;

    // The same exchange, blocking the calling thread; never on the main thread.
    FlomoResult sendNow(std::string_view text, std::optional<std::string_view> app,
                        std::optional<std::string_view> url) const;

    // What a reply body means.
    static FlomoResult interpretReply(std::string_view body);

    bool dry;
    double timeoutSeconds = defaultTimeoutSeconds;

  private:
    MainQueue* queue_;
    WebhookSource webhook_;
    Worker::Runner runInBackground_;
};

}  // namespace pivorel
