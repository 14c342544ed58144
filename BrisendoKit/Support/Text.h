#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text helpers shared by every part of the program. Strings are UTF-8; "characters" are
// user-perceived characters (extended grapheme clusters) unless a name says UTF-16.
namespace pivorel::text {

// Whether the code point has the Unicode White_Space property (line breaks included).
bool isWhiteSpace(char32_t c);

// Removes White_Space code points from both ends.
std::string trim(std::string_view s);

// Replaces every ill-formed UTF-8 sequence with U+FFFD, as the Unicode standard's
// "maximal subpart" practice does. Text from outside goes through this first.
std::string repairUtf8(std::string_view s);
bool isValidUtf8(std::string_view s);

// Number of extended grapheme clusters.
std::size_t graphemeCount(std::string_view s);

// The first `n` grapheme clusters (the whole text when it has fewer).
std::string graphemePrefix(std::string_view s, std::size_t n);

// The longest start of `s` of at most `bytes` bytes that does not split a character.
std::string_view utf8Prefix(std::string_view s, std::size_t bytes);

// Length in UTF-16 code units, as the platform APIs count.
std::size_t utf16Length(std::string_view s);

// Decodes one code point at `i` and advances `i`. Ill-formed input yields U+FFFD and
// advances by at least one byte, so loops over arbitrary bytes always end.
char32_t decodeNext(std::string_view s, std::size_t& i);

void appendUtf8(std::string& out, char32_t c);

}  // namespace pivorel::text
