#include "BrisendoKit/Selection/CopyFallback.h"

#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

// Whether `s` holds nothing but white space, without copying a large text to trim it.
bool isBlank(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (!text::isWhiteSpace(text::decodeNext(s, i))) return false;
    }
    return true;
}

}  // namespace

Result<std::string, CopyFallback::Failure> CopyFallback::read(PasteboardLike& pasteboard,
                                                              const std::function<bool()>& trigger,
                                                              const std::function<void()>& pause,
                                                              int maxChecks) {
    // Taken before the copy, so whatever the user had on the pasteboard can be put back.
    const std::vector<PasteboardLike::Item> saved = pasteboard.snapshot();
    const std::int64_t before = pasteboard.changeCount();

    if (!trigger || !trigger()) return fail(Failure::triggerFailed);

    // Some applications answer the copy at once: look before the first pause.
    bool changed = pasteboard.changeCount() != before;
    for (int check = 0; !changed && check < maxChecks; ++check) {
        if (pause) pause();
        changed = pasteboard.changeCount() != before;
    }
    if (!changed) return fail(Failure::clipboardUnchanged);

    const std::optional<std::string> copied = pasteboard.string();
    // Restored before the copied string is judged, so the user's pasteboard comes back even
    // when the copy produced no text.
    pasteboard.restore(saved);
    if (!copied) return fail(Failure::notText);
    std::string result = text::repairUtf8(*copied);
    if (isBlank(result)) return fail(Failure::notText);
    return result;
}

std::string_view toString(CopyFallback::Failure failure) {
    switch (failure) {
        case CopyFallback::Failure::triggerFailed:
            return "triggerFailed";
        case CopyFallback::Failure::clipboardUnchanged:
            return "clipboardUnchanged";
        case CopyFallback::Failure::notText:
            return "notText";
    }
    return "triggerFailed";
}

}  // namespace pivorel
