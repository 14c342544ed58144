#include "BrisendoKit/Actions/FlomoClient.h"

#include <nlohmann/json.hpp>
#include <thread>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionLinks.h"
#include "BrisendoKit/Actions/HttpTransfer.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/SecretStore.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

// flomo's replies are a few hundred bytes; anything near this is not flomo.
constexpr std::size_t kMaxReplyBytes = 1u << 20;

bool isWebAddress(std::string_view url) {
    const auto parts = URLTemplate::parse(url);
    return parts && (parts->scheme == "http" || parts->scheme == "https") && !parts->host.empty();
}

}  // namespace

FlomoClient::FlomoClient(bool dryRun, MainQueue& queue, WebhookSource webhook,
                         Worker::Runner runInBackground)
    : dry(dryRun),
      queue_(&queue),
      webhook_(std::move(webhook)),
      runInBackground_(std::move(runInBackground)) {}

FlomoClient::WebhookSource FlomoClient::storedWebhook(SecretStore& secrets) {
    return [&secrets] { return secrets.get(AppIdentity::bundleID, webhookAccount); };
}

void FlomoClient::send(std::string text, std::optional<std::string> app,
                       std::optional<std::string> url, Completion done) const {
    if (dry) {
        queue_->post([done = std::move(done), result = sendNow(text, app, url)] { done(result); });
        return;
    }
    runInBackground_([client = *this, text = std::move(text), app = std::move(app),
                      url = std::move(url), done = std::move(done)]() mutable {
        FlomoResult result = client.sendNow(text, app, url);
        client.queue_->post([done = std::move(done), result = std::move(result)] { done(result); });
    });
}

FlomoResult FlomoClient::sendNow(std::string_view text, std::optional<std::string_view> app,
                                 std::optional<std::string_view> url) const {
    std::string content = ActionLinks::flomoContent(text, app, url);
    if (dry) return FlomoResult::dryRun(std::move(content));

    const std::optional<std::string> webhook = webhook_ ? webhook_() : std::nullopt;
    if (!webhook || !isWebAddress(*webhook)) {
        return FlomoResult::failed(L("还没有 flomo 地址（运行 --seed-credentials）"));
    }

    HttpTransfer::Request request;
    request.method = "POST";
    request.url = *webhook;
    request.headers = {"Content-Type: application/json"};
    request.body = nlohmann::json{{"content", std::move(content)}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    request.timeoutSeconds = timeoutSeconds;
    request.maxBodyBytes = kMaxReplyBytes;

    auto response = HttpTransfer::perform(request);
    if (!response) return FlomoResult::failed(response.error());
    return interpretReply(response->body);
}

FlomoResult FlomoClient::interpretReply(std::string_view body) {
    const auto reply = boundedjson::parse(body, kMaxReplyBytes);
    if (reply.is_object()) {
        const auto code = reply.find("code");
        if (code != reply.end() && code->is_number_integer() && code->get<long long>() == 0) {
            return FlomoResult::sent();
        }
    }
    // The server's own words are the best reason we have; an empty reply says nothing.
    if (text::isValidUtf8(body) && !text::trim(body).empty()) {
        return FlomoResult::failed(text::graphemePrefix(body, maxMessageLength));
    }
    return FlomoResult::failed(L("未知错误"));
}

}  // namespace pivorel
