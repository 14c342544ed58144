#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pivorel {

// One argument of a "%@"-style format: a string, an integer or a floating-point number.
struct FormatArg {
    std::variant<std::string, long long, double> value;

    FormatArg(const char* s) : value(std::string(s)) {}
    FormatArg(std::string s) : value(std::move(s)) {}
    FormatArg(std::string_view s) : value(std::string(s)) {}
    template <std::integral I>
    FormatArg(I i) : value(static_cast<long long>(i)) {}
    template <std::floating_point F>
    FormatArg(F f) : value(static_cast<double>(f)) {}
};

// Formats `format` with the conversions the program's texts use: %@ (string), %d %ld %lld
// %02d and the like (integers), %.0f %.2f (numbers; the decimal separator follows
// `language`), %% and positional forms ("%2$@"). A conversion with no matching argument,
// or one this formatter does not know, is copied as written rather than guessed at.
std::string formatString(std::string_view format, const std::vector<FormatArg>& args,
                         std::string_view language = "zh-Hans");

}  // namespace pivorel
