#include "BrisendoKit/LanguageModel/AskKind.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

std::string_view toString(AskKind kind) {
    return kind == AskKind::translate ? "translate" : "ask";
}

std::optional<AskKind> askKindFromString(std::string_view raw) {
    if (raw == "ask") return AskKind::ask;
    if (raw == "translate") return AskKind::translate;
    return std::nullopt;
}

std::string askKindTitle(AskKind kind) {
    return kind == AskKind::translate ? L("翻译") : L("问一下");
}

std::string_view askKindSymbol(AskKind kind) {
    return kind == AskKind::translate ? "character.bubble" : "sparkles";
}

}  // namespace pivorel
