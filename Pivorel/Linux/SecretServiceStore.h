#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Platform/SecretStore.h"

namespace pivorel {

// Secrets in the desktop's Secret Service (gnome-keyring, KWallet) through libsecret: one
// item per service and account in the default collection, labelled "Pivorel <account>".
// Every call is asynchronous underneath and gives up after `timeout` (a keyring that waits
// for an unlock dialog, or a bus that never answers, must not hold the caller): `get` is
// then empty, `exists` and `set` false, and one log line says why. The calls drive their
// own GLib main context, so no GLib main loop needs to run. Thread-safe; calls are
// serialised, and the time spent waiting for another call counts against the time-out.
class SecretServiceStore final : public SecretStore {
  public:
    explicit SecretServiceStore(std::chrono::milliseconds timeout = std::chrono::seconds(1));

    bool exists(std::string_view service, std::string_view account) override;
    std::optional<std::string> get(std::string_view service, std::string_view account) override;
    bool set(std::string_view value, std::string_view service, std::string_view account) override;

  private:
    std::chrono::milliseconds timeout_;
};

}  // namespace pivorel
