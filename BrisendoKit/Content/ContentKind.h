#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace pivorel {

// What a selected text shows. The raw strings are the stored form (history database,
// ranking tables), so they never change.
enum class ContentKind {
    url,
    dateTime,
    todoLike,
    english,
    chinese,
    shortPhrase,
    sentence,
    longParagraph,
};

// Every kind in the order all loops over kinds follow.
inline constexpr std::array<ContentKind, 8> allContentKinds = {
    ContentKind::url,      ContentKind::dateTime,      ContentKind::todoLike,
    ContentKind::english,  ContentKind::chinese,       ContentKind::shortPhrase,
    ContentKind::sentence, ContentKind::longParagraph,
};

std::string_view toString(ContentKind kind);

// An unknown string is no kind, not an error.
std::optional<ContentKind> contentKindFromString(std::string_view raw);

}  // namespace pivorel
