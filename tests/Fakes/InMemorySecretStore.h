#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "BrisendoKit/Platform/SecretStore.h"

namespace pivorel::test {

// Secrets in a map. `failWrites` makes every set fail, as a locked keyring does.
class InMemorySecretStore final : public SecretStore {
  public:
    bool failWrites = false;

    bool exists(std::string_view service, std::string_view account) override {
        std::lock_guard lock(mutex_);
        return items_.count(key(service, account)) > 0;
    }
    std::optional<std::string> get(std::string_view service, std::string_view account) override {
        std::lock_guard lock(mutex_);
        auto it = items_.find(key(service, account));
        if (it == items_.end()) return std::nullopt;
        return it->second;
    }
    bool set(std::string_view value, std::string_view service, std::string_view account) override {
        std::lock_guard lock(mutex_);
        if (failWrites) return false;
        items_[key(service, account)] = std::string(value);
        return true;
    }

  private:
    static std::pair<std::string, std::string> key(std::string_view s, std::string_view a) {
        return {std::string(s), std::string(a)};
    }
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::string> items_;
};

}  // namespace pivorel::test
