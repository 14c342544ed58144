#include "BrisendoKit/LanguageModel/ChatStreaming.h"

namespace pivorel {

std::string description(const StreamError& error) {
    if (const auto* llm = std::get_if<LLMError>(&error)) return llm->description();
    return description(std::get<TranslationError>(error));
}

}  // namespace pivorel
