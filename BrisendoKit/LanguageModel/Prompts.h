#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/LanguageModel/ChatMessage.h"

namespace pivorel {

// The fixed prompt texts and the first messages of an ask or a translation. The texts
// are part of the program's behaviour: change them only on purpose.
struct Prompts {
    Prompts() = delete;

    // The system prompt of an ask; names the answer language of the moment.
    static std::string ask();
    // System prompt, then "选中的文字：\n" + selection (+ "\n\n（来自：" + app + "）").
    static std::vector<ChatMessage> askMessages(std::string_view selection,
                                                const std::optional<std::string>& app);

    // English target for Chinese-only text, Simplified Chinese for everything else.
    static std::string translateSystem(std::string_view text);
    static std::vector<ChatMessage> translateMessages(std::string_view selection);

    // The language answers are written in, named in Chinese, following the interface
    // language.
    static std::string answerLanguage();
    // The same for an explicit interface-language code; "英文" for any code not listed.
    static std::string answerLanguage(std::string_view languageCode);
};

}  // namespace pivorel
