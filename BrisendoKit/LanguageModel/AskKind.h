#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

// The kind of a model conversation. The raw strings are stored with archived transcripts.
enum class AskKind { ask, translate };

std::string_view toString(AskKind kind);
// Any other string is no kind.
std::optional<AskKind> askKindFromString(std::string_view raw);

// The panel header's title (in the interface language) and symbol name.
std::string askKindTitle(AskKind kind);
std::string_view askKindSymbol(AskKind kind);

}  // namespace pivorel
