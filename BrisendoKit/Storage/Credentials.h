#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pivorel {

class SecretStore;

// The program's two secrets (the model API key and the flomo webhook address), kept in the
// process-wide SecretStore that start-up injects once. Without a store every read is empty
// and every write fails, as with a keyring that does not answer.
struct Credentials {
    Credentials() = delete;

    static constexpr std::string_view service = "com.morvale.pivorel";
    static constexpr std::string_view llmAccount = "llm-api-key";
    static constexpr std::string_view flomoAccount = "flomo-webhook";
    // Credentials files larger than this are not another tool's small JSON file.
    static constexpr std::size_t maxAuthFileBytes = 1u << 20;

    static void setStore(std::shared_ptr<SecretStore> store);
    // A store that forwards to whichever store is injected at the time of each call, so it
    // can be handed out before start-up injects the real one.
    static std::shared_ptr<SecretStore> store();

    static bool exists(std::string_view account, std::string_view inService = service);
    static std::optional<std::string> get(std::string_view account,
                                          std::string_view inService = service);
    // Replaces any stored value; true when the new one is stored.
    static bool set(std::string_view value, std::string_view account,
                    std::string_view inService = service);

    // The key of `provider` in another tool's credentials file: {"<provider>": {"key": "..."}}.
    // Nothing for anything else: not JSON, another shape, a missing or empty key.
    static std::optional<std::string> llmKey(std::string_view authJSON, std::string_view provider);

    // Fills the store from the credentials file and PIVOREL_FLOMO_URL in `environment`;
    // the provider is PIVOREL_LLM_PROVIDER, else "deepseek". Returns the two report lines.
    static std::vector<std::string> seed(const std::filesystem::path& authJSONPath,
                                         const std::map<std::string, std::string>& environment);
};

}  // namespace pivorel
