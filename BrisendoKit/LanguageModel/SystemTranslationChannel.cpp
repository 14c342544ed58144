#include "BrisendoKit/LanguageModel/SystemTranslationChannel.h"

#include "BrisendoKit/LanguageModel/LanguageRecognizer.h"
#include "BrisendoKit/LanguageModel/StreamTask.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"

namespace pivorel {

SystemTranslationChannel::SystemTranslationChannel(MainQueue& queue,
                                                   std::shared_ptr<OnDeviceTranslator> translator)
    : queue_(queue), translator_(std::move(translator)) {}

std::optional<SystemTranslationChannel::Plan> SystemTranslationChannel::plan(
    std::string_view text) {
    auto source = LanguageRecognizer::dominantLanguage(text);
    if (!source) return std::nullopt;
    const std::string sourceCode = LanguageRecognizer::languageCode(*source);
    Plan result{*source, sourceCode == "zh" ? "en" : "zh-Hans"};
    if (sourceCode == LanguageRecognizer::languageCode(result.target)) return std::nullopt;
    return result;
}

bool SystemTranslationChannel::packsReady(OnDeviceTranslator& translator) {
    return translator.isInstalled("en", "zh-Hans") && translator.isInstalled("zh-Hans", "en");
}

bool SystemTranslationChannel::canHandle(const std::string& text) {
    const auto p = plan(text);
    return p && translator_ && translator_->isInstalled(p->source, p->target);
}

std::unique_ptr<Cancellable> SystemTranslationChannel::translate(const std::string& text,
                                                                 const std::vector<ChatMessage>&,
                                                                 ChatStreaming::OnPiece onPiece,
                                                                 ChatStreaming::OnFinish onFinish) {
    auto task = std::make_shared<StreamTask>(queue_, std::move(onPiece), std::move(onFinish));
    return StreamTask::start(task, [task, text, translator = translator_] {
        const auto p = plan(text);
        std::optional<std::string> translated;
        if (p && translator) translated = translator->translate(text, p->source, p->target);
        if (!translated) {
            task->postFinish(TranslationError::nothingAvailable);
            return;
        }
        if (!translated->empty()) task->postPiece(std::move(*translated));
        task->postFinish(std::nullopt);
    });
}

}  // namespace pivorel
