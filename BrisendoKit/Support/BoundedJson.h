#pragma once

#include <cstddef>
#include <limits>
#include <string_view>

#include <nlohmann/json.hpp>

namespace pivorel::boundedjson {

// Our own files and the replies we read are a few levels deep. Anything far deeper is not
// one of them, and building it would cost memory out of all proportion to its size.
constexpr int maxNesting = 64;

// Whether no array or object in `bytes` opens more than `limit` levels deep (a cheap scan
// that skips strings; it does not check that the JSON is well formed).
bool nestingWithinLimit(std::string_view bytes, int limit = maxNesting);

// `bytes` parsed without exceptions; a discarded value (is_discarded()) when they are not
// JSON, longer than `maxBytes` or nested deeper than `maxNesting`.
nlohmann::json parse(std::string_view bytes,
                     std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

}  // namespace pivorel::boundedjson
