#include "BrisendoKit/Support/IcuRegex.h"

#include <cstdio>
#include <cstdlib>

namespace pivorel {

std::unique_ptr<icu::RegexMatcher> IcuRegex::matcher(std::size_t index,
                                                     const icu::UnicodeString& text) const {
    std::call_once(once_, [this] {
        auto* all = new std::vector<std::unique_ptr<icu::RegexPattern>>();
        for (const Source& source : sources_) {
            UErrorCode status = U_ZERO_ERROR;
            UParseError where{};
            all->emplace_back(icu::RegexPattern::compile(
                icu::UnicodeString::fromUTF8(source.utf8),
                source.caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0, where, status));
            if (U_FAILURE(status) || !all->back()) {
                std::fprintf(stderr, "Pivorel: pattern %zu does not compile (%s, offset %d): %s\n",
                             all->size() - 1, u_errorName(status), where.offset, source.utf8);
                std::abort();
            }
        }
        compiled_ = all;
    });
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m((*compiled_)[index]->matcher(text, status));
    if (U_FAILURE(status)) m.reset();
    return m;
}

}  // namespace pivorel
