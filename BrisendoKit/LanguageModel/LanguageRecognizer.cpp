#include "BrisendoKit/LanguageModel/LanguageRecognizer.h"

// The CLD2 header uses FILE without including its declaration.
#include <cstdio>

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {
constexpr std::size_t sampleBytes = 64 * 1024;
}  // namespace

std::optional<std::string> LanguageRecognizer::dominantLanguage(std::string_view text) {
    // CLD2 reads only valid UTF-8. The opening of a long text says enough about its
    // language, and keeps the answer quick on the main thread.
    const std::string input = text::repairUtf8(text.substr(0, sampleBytes));
    CLD2::Language top3[3];
    int percent3[3];
    double scores3[3];
    int textBytes = 0;
    bool reliable = false;
    int validPrefix = 0;
    const CLD2::CLDHints hints = {nullptr, nullptr, CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
    const CLD2::Language language = CLD2::ExtDetectLanguageSummaryCheckUTF8(
        input.data(), static_cast<int>(input.size()), true, &hints, CLD2::kCLDFlagBestEffort, top3,
        percent3, scores3, nullptr, &textBytes, &reliable, &validPrefix);
    if (language == CLD2::UNKNOWN_LANGUAGE || language == CLD2::TG_UNKNOWN_LANGUAGE) {
        return std::nullopt;
    }
    const std::string code = CLD2::LanguageCode(language);
    if (code.empty() || code == "un" || code == "und") return std::nullopt;
    // CLD2 names Simplified Chinese plain "zh".
    if (code == "zh") return "zh-Hans";
    return code;
}

std::string LanguageRecognizer::languageCode(std::string_view tag) {
    return std::string(tag.substr(0, tag.find_first_of("-_")));
}

}  // namespace pivorel
