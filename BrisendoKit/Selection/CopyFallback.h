#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "BrisendoKit/Platform/PasteboardLike.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// Reads a selection that an application does not expose by pressing its Copy command and
// taking the text off the pasteboard, then puts the user's pasteboard back as it was.
struct CopyFallback {
    CopyFallback() = delete;

    enum class Failure { triggerFailed, clipboardUnchanged, notText };

    static constexpr double defaultPause = 0.03;
    static constexpr int defaultMaxChecks = 10;

    // `trigger` issues the copy (false: it could not); `pause` waits one polling interval;
    // the pasteboard is looked at right after the trigger and after each of at most
    // `maxChecks` pauses. The copied string is returned untrimmed.
    static Result<std::string, Failure> read(PasteboardLike& pasteboard,
                                             const std::function<bool()>& trigger,
                                             const std::function<void()>& pause,
                                             int maxChecks = defaultMaxChecks);
};

std::string_view toString(CopyFallback::Failure failure);

}  // namespace pivorel
