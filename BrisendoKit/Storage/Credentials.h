#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pivorel {

class MainQueue;
class SecretStore;

// The program's two secrets (the model API key and the flomo webhook address), kept in the
// SecretStore it is given. Without a store every read is empty and every write fails, as
// with a keyring that does not answer. Cheap to copy: copies share the store.
class Credentials {
  public:
    Credentials() : Credentials(nullptr) {}
    explicit Credentials(std::shared_ptr<SecretStore> store);

    static constexpr std::string_view service = "com.morvale.pivorel";
    static constexpr std::string_view llmAccount = "llm-api-key";
    static constexpr std::string_view flomoAccount = "flomo-webhook";
    // Credentials files larger than this are not another tool's small JSON file.
    static constexpr std::size_t maxAuthFileBytes = 1u << 20;

    // The store itself (never null: a missing one answers as described above).
    const std::shared_ptr<SecretStore>& store() const { return store_; }

    bool exists(std::string_view account, std::string_view inService = service) const;
    std::optional<std::string> get(std::string_view account,
                                   std::string_view inService = service) const;
    // Replaces any stored value; true when the new one is stored.
    bool set(std::string_view value, std::string_view account,
             std::string_view inService = service) const;

    // The same calls for the main thread, which must never wait for the store (a locked
    // keyring waits for the user): each runs through `runner` and `done` gets its answer
    // on `queue`.
    using Runner = std::function<void(std::function<void()>)>;
    // A store that has not answered after this long waits for the user to unlock the
    // keyring, and the caller says so. A normal call answers in milliseconds.
    static constexpr double unlockNoteDelay = 0.5;
    void existsLater(std::string_view account, MainQueue& queue, const Runner& runner,
                     std::function<void(bool)> done) const;
    void setLater(std::string value, std::string_view account, MainQueue& queue,
                  const Runner& runner, std::function<void(bool)> done) const;

    // The key of `provider` in another tool's credentials file: {"<provider>": {"key": "..."}}.
    // Nothing for anything else: not JSON, another shape, a missing or empty key.
    static std::optional<std::string> llmKey(std::string_view authJSON, std::string_view provider);

    // Fills the store from the credentials file and PIVOREL_FLOMO_URL in `environment`;
    // the provider is PIVOREL_LLM_PROVIDER, else "deepseek". Returns the two report lines.
    std::vector<std::string> seed(const std::filesystem::path& authJSONPath,
                                  const std::map<std::string, std::string>& environment) const;

  private:
    std::shared_ptr<SecretStore> store_;
};

}  // namespace pivorel
