#include "BrisendoKit/LanguageModel/TranslateEngine.h"

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/UserDefaults.h"

namespace pivorel {

std::string_view toString(TranslateEngine engine) {
    switch (engine) {
        case TranslateEngine::automatic:
            return "auto";
        case TranslateEngine::system:
            return "system";
        case TranslateEngine::model:
            return "model";
    }
    return "auto";
}

std::optional<TranslateEngine> translateEngineFromString(std::string_view raw) {
    for (const auto engine : allTranslateEngines) {
        if (toString(engine) == raw) return engine;
    }
    return std::nullopt;
}

std::string translateEngineTitle(TranslateEngine engine) {
    switch (engine) {
        case TranslateEngine::automatic:
            return L("自动");
        case TranslateEngine::system:
            return L("系统翻译（本机离线）");
        case TranslateEngine::model:
            return L("我自己的模型");
    }
    return L("自动");
}

TranslateEngine currentTranslateEngine(const UserDefaults& defaults, bool onDeviceEngine) {
    const auto stored = defaults.stringValue(translateEngineDefaultsKey);
    const auto engine = stored ? translateEngineFromString(*stored) : std::nullopt;
    if (!engine || (*engine == TranslateEngine::system && !onDeviceEngine))
        return TranslateEngine::automatic;
    return *engine;
}

TranslateEngineStatus translateEngineStatus(TranslateEngine engine, bool modelReady,
                                            std::optional<bool> packReady, std::string_view model) {
    const bool usesModel =
        engine == TranslateEngine::model || (engine == TranslateEngine::automatic && modelReady);
    if (usesModel) {
        if (!modelReady) return {L("还没填 API Key，翻译不会成功：请在下面填写"), false};
        return {L("现在用你的模型翻译（%@）", text::trim(model)), true};
    }
    if (!packReady) return {L("正在检查语言包…"), true};
    if (*packReady) return {L("现在用系统翻译（本机离线，语言包已就绪）"), true};
    return {L("语言包还没装，翻译不会成功：请先下载，或填入自己的模型"), false};
}

}  // namespace pivorel
