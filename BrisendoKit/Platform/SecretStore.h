#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

// Where secrets live (API key, webhook address): generic-password items named by a
// service and an account. The desktop implementation talks to the Secret Service; unit
// tests use an in-memory one. Implementations never throw and never block for long: a
// store that does not answer reads as empty and fails writes.
class SecretStore {
  public:
    virtual ~SecretStore() = default;
    virtual bool exists(std::string_view service, std::string_view account) = 0;
    virtual std::optional<std::string> get(std::string_view service, std::string_view account) = 0;
    // Replaces any existing item; true when the new value is stored.
    virtual bool set(std::string_view value, std::string_view service,
                     std::string_view account) = 0;
};

}  // namespace pivorel
