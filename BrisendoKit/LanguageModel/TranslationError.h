#pragma once

#include <string>

namespace pivorel {

// Why a translation could not even start.
enum class TranslationError {
    // No channel can take the text: no model that can answer, and no installed language
    // packs.
    nothingAvailable,
};

// The text shown to the user, in the interface language.
std::string description(TranslationError error);

}  // namespace pivorel
