#include "BrisendoKit/LanguageModel/TranslationError.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

std::string description(TranslationError error) {
    switch (error) {
        case TranslationError::nothingAvailable:
            break;
    }
    // The services page holds both ways out: the model form, and the language packs where
    // this machine has an on-device engine.
    return L("还不能翻译：请在设置 → 服务里填入模型的地址和密钥");
}

}  // namespace pivorel
