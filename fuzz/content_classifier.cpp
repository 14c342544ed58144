#include "BrisendoKit/Content/ContentClassifier.h"
#include "BrisendoKit/Support/Text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Any bytes classify into a profile with exactly one length class, or a link alone.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using pivorel::ContentClassifier;
    using pivorel::ContentKind;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const pivorel::ContentProfile profile = ContentClassifier::classify(input);

    if (profile.has(ContentKind::url)) {
        if (profile.kinds.size() != 1) __builtin_trap();
        if (!ContentClassifier::isURL(pivorel::text::trim(pivorel::text::repairUtf8(input))))
            __builtin_trap();
        return 0;
    }
    const int lengthClasses = int(profile.has(ContentKind::shortPhrase)) +
                              int(profile.has(ContentKind::sentence)) +
                              int(profile.has(ContentKind::longParagraph));
    if (lengthClasses != 1) __builtin_trap();
    if (profile.primary() == ContentKind::english || profile.primary() == ContentKind::chinese)
        __builtin_trap();
    if (!(ContentClassifier::classify(input) == profile)) __builtin_trap();  // deterministic
    return 0;
}
