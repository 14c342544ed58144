#include "BrisendoKit/LanguageModel/TranslationError.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

std::string description(TranslationError error) {
    switch (error) {
        case TranslationError::nothingAvailable:
            break;
    }
    // clang-format off
    return L("还不能翻译：系统翻译的语言包没装。点托盘里的 Pivorel →「下载翻译语言包…」装一次（之后离线可用，选中的文字不出本机），或在设置里填入自己的模型。");
    // clang-format on
}

}  // namespace pivorel
