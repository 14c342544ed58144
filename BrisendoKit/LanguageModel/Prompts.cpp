#include "BrisendoKit/LanguageModel/Prompts.h"

#include <array>
#include <utility>

#include "BrisendoKit/Content/ContentClassifier.h"
#include "BrisendoKit/Localization/Localizer.h"

namespace pivorel {

std::string Prompts::answerLanguage(std::string_view languageCode) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> names = {{
        {"zh-Hans", "中文"},
        {"zh-Hant", "繁体中文"},
        {"ja", "日语"},
        {"ko", "韩语"},
        {"de", "德语"},
        {"fr", "法语"},
        {"es", "西班牙语"},
    }};
    for (const auto& [code, name] : names) {
        if (code == languageCode) return std::string(name);
    }
    return "英文";
}

std::string Prompts::answerLanguage() {
    return answerLanguage(Localizer::effectiveLanguage());
}

std::string Prompts::ask() {
    return "你是用户电脑上的划词助手。用户刚选中了一段文字，想知道它是什么、怎么理解。用" +
           answerLanguage() +
           "回答，先给结论，再补必要的背景；简洁，不寒暄，不加免责声明。"
           "若是代码或命令，解释它做什么、有什么风险。";
}

std::vector<ChatMessage> Prompts::askMessages(std::string_view selection,
                                              const std::optional<std::string>& app) {
    std::string user = "选中的文字：\n" + std::string(selection);
    if (app) user += "\n\n（来自：" + *app + "）";
    return {{"system", ask()}, {"user", std::move(user)}};
}

std::string Prompts::translateSystem(std::string_view text) {
    const auto profile = ContentClassifier::classify(text);
    if (profile.has(ContentKind::chinese) && !profile.has(ContentKind::english)) {
        return "把用户给的文字翻译成自然、地道的英文。只输出译文，不解释。";
    }
    return "把用户给的文字翻译成自然、通顺的简体中文。只输出译文，不解释；"
           "专有名词保留原文并在首次出现时括注。";
}

std::vector<ChatMessage> Prompts::translateMessages(std::string_view selection) {
    return {{"system", translateSystem(selection)}, {"user", std::string(selection)}};
}

}  // namespace pivorel
