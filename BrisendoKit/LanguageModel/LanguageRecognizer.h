#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

// Tells which language a text is mostly written in (CLD2).
struct LanguageRecognizer {
    LanguageRecognizer() = delete;

    // The dominant language as a BCP 47 tag ("en", "ja", "zh-Hans", "zh-Hant"), or nothing
    // when the text shows none (digits and punctuation, empty text). Like the desktop
    // recognizers it guesses for short text rather than give up. Any bytes are accepted.
    static std::optional<std::string> dominantLanguage(std::string_view text);

    // The language subtag of a tag: "zh" for "zh-Hant".
    static std::string languageCode(std::string_view tag);
};

}  // namespace pivorel
