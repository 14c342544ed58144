#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/LanguageModel/TranslationChannel.h"

namespace pivorel {

class MainQueue;
class OnDeviceTranslator;

// The machine's offline translator as a translation engine. It translates the selected
// text alone, so it takes no follow-up questions.
class SystemTranslationChannel final : public TranslationChannel {
  public:
    // Source and target languages as BCP 47 tags.
    struct Plan {
        std::string source;
        std::string target;

        friend bool operator==(const Plan&, const Plan&) = default;
    };

    SystemTranslationChannel(MainQueue& queue, std::shared_ptr<OnDeviceTranslator> translator);

    // Chinese goes to English, every other recognised language to Simplified Chinese;
    // nothing when the language is not recognised.
    static std::optional<Plan> plan(std::string_view text);

    // Whether both directions between English and Simplified Chinese are installed: what
    // the settings window reports as "language packs ready".
    static bool packsReady(OnDeviceTranslator& translator);

    std::string id() const override { return "system"; }
    bool supportsFollowUp() const override { return false; }
    bool canHandle(const std::string& text) override;
    std::unique_ptr<Cancellable> translate(const std::string& text,
                                           const std::vector<ChatMessage>& messages,
                                           ChatStreaming::OnPiece onPiece,
                                           ChatStreaming::OnFinish onFinish) override;

  private:
    MainQueue& queue_;
    std::shared_ptr<OnDeviceTranslator> translator_;
};

}  // namespace pivorel
