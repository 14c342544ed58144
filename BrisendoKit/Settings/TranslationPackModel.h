#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class MainQueue;
class OnDeviceTranslator;

// The language-pack window's model: checks whether the offline translator has English and
// Simplified Chinese in both directions, and asks the platform to download them, one
// direction after the other. Main thread.
class TranslationPackModel {
  public:
    enum class Phase { checking, ready, needsDownload, downloading, failed };

    // Whether both directions are installed. Quick.
    using Check = std::function<bool()>;
    // Called on the main thread when a download ended: nothing, or the platform's message.
    using Done = std::function<void(std::optional<std::string> failure)>;
    // Downloads the packs for one direction (BCP 47 tags); calls `done` on the main thread.
    using Prepare =
        std::function<void(const std::string& source, const std::string& target, Done done)>;

    TranslationPackModel(Check check, Prepare prepare);
    TranslationPackModel(const TranslationPackModel&) = delete;
    TranslationPackModel& operator=(const TranslationPackModel&) = delete;

    // Checks through `translator`. Downloading is not something a desktop without an
    // offline engine can do: it fails, through `queue`, with unavailableMessage().
    static std::unique_ptr<TranslationPackModel> withoutDownloads(
        std::shared_ptr<OnDeviceTranslator> translator, MainQueue& queue);

    Phase phase() const { return phase_; }
    // The platform's message of the last failure.
    const std::string& failure() const { return failure_; }

    // The window came up: checks again (unless a download is under way).
    void appear();
    // "下载英语与简体中文": English → Chinese, then Chinese → English, then a fresh check.
    void download();
    // Whether the download button does something now.
    bool canDownload() const { return phase_ == Phase::needsDownload || phase_ == Phase::failed; }

    // The line for the current phase (empty while checking or when a download is needed:
    // the description says what to do).
    std::string statusText() const;
    static std::string heading();
    static std::string description();
    // The failure of a desktop that has no offline translator: a table key, so it follows
    // the interface language like the rest of the window.
    static std::string unavailableMessage();

    // Emitted after the phase changed.
    Signal<> changed;

  private:
    void setPhase(Phase phase, std::string failure = {});
    void prepared(int generation, std::optional<std::string> failure, bool first);

    Check check_;
    Prepare prepare_;
    Phase phase_ = Phase::checking;
    std::string failure_;
    int generation_ = 0;
    // Expires with the model, so a download that ends later finds no one to tell.
    LifetimeToken<TranslationPackModel> self_{this};
};

}  // namespace pivorel
