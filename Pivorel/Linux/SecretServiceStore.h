#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Platform/SecretStore.h"

namespace pivorel {

// Secrets in the desktop's Secret Service (gnome-keyring, KWallet) through libsecret: one
// item per service and account in the default collection, labelled "Pivorel <account>".
// Every call first reaches the service within `answerTimeout` (no service on the bus, or a
// bus that never answers, fails fast), then waits up to `unlockTimeout` for the call itself:
// a locked keyring shows its unlock dialog and the user takes their time. On failure `get`
// is empty, `exists` and `set` false, and one log line says why. Calls block: run them off
// the main thread. They drive their own GLib main context, so no GLib main loop needs to
// run. Thread-safe; calls are serialised, and waiting for another call counts against the
// unlock time-out.
class SecretServiceStore final : public SecretStore {
  public:
    explicit SecretServiceStore(std::chrono::milliseconds answerTimeout = std::chrono::seconds(1),
                                std::chrono::milliseconds unlockTimeout = std::chrono::minutes(2));

    bool exists(std::string_view service, std::string_view account) override;
    std::optional<std::string> get(std::string_view service, std::string_view account) override;
    bool set(std::string_view value, std::string_view service, std::string_view account) override;

    // The program is quitting: calls waiting (for an unlock dialog, say) give up now, and
    // later ones at once, so no worker holds the exit for minutes.
    static void stopWaiting();

  private:
    // Reaches the service (opens its session) within the answer time-out; false with a log
    // line when it does not answer.
    bool reachable(std::string_view op, std::string_view service, std::string_view account);

    std::chrono::milliseconds answerTimeout_;
    std::chrono::milliseconds unlockTimeout_;
};

}  // namespace pivorel
