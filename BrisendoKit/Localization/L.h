#pragma once

#include <string>
#include <string_view>

#include "BrisendoKit/Localization/Format.h"

namespace pivorel {

// The text `key` (the Simplified Chinese source text) in the interface language. Without
// arguments the text is returned as the table has it, never formatted, so a literal "%"
// stays as written.
std::string L(std::string_view key);

// The same, formatted with `args` in the interface language's conventions.
std::string localizeAndFormat(std::string_view key, const std::vector<FormatArg>& args);

template <class A, class... More>
std::string L(std::string_view key, A&& first, More&&... more) {
    return localizeAndFormat(
        key, {FormatArg(std::forward<A>(first)), FormatArg(std::forward<More>(more))...});
}

}  // namespace pivorel
