#include "BrisendoKit/Content/ContentProfile.h"

namespace pivorel {

ContentKind ContentProfile::primary() const {
    // The language kinds describe a text but never stand for it.
    static constexpr ContentKind priority[] = {
        ContentKind::url,           ContentKind::todoLike,    ContentKind::dateTime,
        ContentKind::longParagraph, ContentKind::shortPhrase, ContentKind::sentence,
    };
    for (ContentKind kind : priority) {
        if (has(kind)) return kind;
    }
    return ContentKind::sentence;
}

}  // namespace pivorel
