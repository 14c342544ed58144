#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace pivorel {

// A fixed list of ICU regular expressions, compiled together on first use and then shared by
// every thread (a pattern is safe to share; matchers are not). The compiled patterns are
// never released, so a static list outlives every thread still matching at exit. A source
// that does not compile is a programming error: it is named on stderr and the program aborts.
class IcuRegex {
  public:
    struct Source {
        const char* utf8;
        bool caseInsensitive = true;
    };

    constexpr explicit IcuRegex(std::span<const Source> sources) : sources_(sources) {}

    // A matcher of pattern `index` over `text` (which must outlive it); nothing when ICU
    // fails to make one.
    std::unique_ptr<icu::RegexMatcher> matcher(std::size_t index,
                                               const icu::UnicodeString& text) const;

  private:
    std::span<const Source> sources_;
    mutable std::once_flag once_;
    mutable const std::vector<std::unique_ptr<icu::RegexPattern>>* compiled_ = nullptr;
};

}  // namespace pivorel
