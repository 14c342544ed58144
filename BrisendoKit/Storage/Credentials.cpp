#include "BrisendoKit/Storage/Credentials.h"

#include <nlohmann/json.hpp>

#include "BrisendoKit/Platform/SecretStore.h"
#include "BrisendoKit/Storage/Endpoints.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

namespace {

// Stands in for a missing store: nothing stored, nothing storable.
class NoSecretStore final : public SecretStore {
  public:
    bool exists(std::string_view, std::string_view) override { return false; }
    std::optional<std::string> get(std::string_view, std::string_view) override {
        return std::nullopt;
    }
    bool set(std::string_view, std::string_view, std::string_view) override { return false; }
};

std::string envOr(const std::map<std::string, std::string>& env, const std::string& name,
                  std::string fallback) {
    const auto it = env.find(name);
    // An exported but empty variable counts as not set.
    return it != env.end() && !it->second.empty() ? it->second : fallback;
}

}  // namespace

Credentials::Credentials(std::shared_ptr<SecretStore> store)
    : store_(store ? std::move(store) : std::make_shared<NoSecretStore>()) {}

bool Credentials::exists(std::string_view account, std::string_view inService) const {
    return store_->exists(inService, account);
}

std::optional<std::string> Credentials::get(std::string_view account,
                                            std::string_view inService) const {
    return store_->get(inService, account);
}

bool Credentials::set(std::string_view value, std::string_view account,
                      std::string_view inService) const {
    return store_->set(value, inService, account);
}

void Credentials::existsLater(std::string_view account, MainQueue& queue, const Runner& runner,
                              std::function<void(bool)> done) const {
    runner([self = *this, account = std::string(account), queue = &queue,
            done = std::move(done)]() mutable {
        const bool found = self.exists(account);
        queue->post([found, done = std::move(done)] { done(found); });
    });
}

void Credentials::setLater(std::string value, std::string_view account, MainQueue& queue,
                           const Runner& runner, std::function<void(bool)> done) const {
    runner([self = *this, value = std::move(value), account = std::string(account), queue = &queue,
            done = std::move(done)]() mutable {
        const bool ok = self.set(value, account);
        queue->post([ok, done = std::move(done)] { done(ok); });
    });
}

std::optional<std::string> Credentials::llmKey(std::string_view authJSON,
                                               std::string_view provider) {
    const auto doc = boundedjson::parse(authJSON, maxAuthFileBytes);
    if (!doc.is_object()) return std::nullopt;
    const auto entry = doc.find(provider);
    if (entry == doc.end() || !entry->is_object()) return std::nullopt;
    const auto key = entry->find("key");
    if (key == entry->end() || !key->is_string()) return std::nullopt;
    auto value = key->get<std::string>();
    if (value.empty()) return std::nullopt;
    return value;
}

std::vector<std::string> Credentials::seed(
    const std::filesystem::path& authJSONPath,
    const std::map<std::string, std::string>& environment) const {
    std::vector<std::string> lines;
    const std::string provider = envOr(environment, "PIVOREL_LLM_PROVIDER", "deepseek");

    const auto bytes = fileio::readFile(authJSONPath, maxAuthFileBytes);
    const auto key = bytes ? llmKey(*bytes, provider) : std::nullopt;
    if (key) {
        const bool ok = set(*key, llmAccount);
        lines.push_back("llm-api-key(" + provider + "): " + (ok ? "ok" : "FAILED"));
    } else {
        lines.push_back("llm-api-key: FAILED (auth.json 里没有 " + provider + " 的 key)");
    }

    const std::string url = envOr(environment, "PIVOREL_FLOMO_URL", "");
    if (url.starts_with(Endpoints::flomoWebhookOrigin)) {
        const bool ok = set(url, flomoAccount);
        lines.push_back(std::string("flomo-webhook: ") + (ok ? "ok" : "FAILED"));
    } else {
        lines.push_back("flomo-webhook: skipped (PIVOREL_FLOMO_URL 未设置)");
    }
    return lines;
}

}  // namespace pivorel
