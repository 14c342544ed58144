#include "BrisendoKit/Content/ContentKind.h"

namespace pivorel {

std::string_view toString(ContentKind kind) {
    switch (kind) {
        case ContentKind::url:
            return "url";
        case ContentKind::dateTime:
            return "dateTime";
        case ContentKind::todoLike:
            return "todoLike";
        case ContentKind::english:
            return "english";
        case ContentKind::chinese:
            return "chinese";
        case ContentKind::shortPhrase:
            return "shortPhrase";
        case ContentKind::sentence:
            return "sentence";
        case ContentKind::longParagraph:
            return "longParagraph";
    }
    return "sentence";
}

std::optional<ContentKind> contentKindFromString(std::string_view raw) {
    for (ContentKind kind : allContentKinds) {
        if (toString(kind) == raw) return kind;
    }
    return std::nullopt;
}

}  // namespace pivorel
