#pragma once

#include "BrisendoKit/Content/ContentProfile.h"

#include <array>
#include <string_view>

namespace pivorel {

// Tells what a selected text is — a link, a date, a to-do line, its languages and its
// length class — from the text alone. Pure and reentrant; the patterns are compiled once
// per process on first use.
struct ContentClassifier {
    ContentClassifier() = delete;

    // Total: any bytes give a profile (ill-formed UTF-8 is repaired first). The text is
    // trimmed of white space before it is looked at.
    static ContentProfile classify(std::string_view text);

    // Whether the whole string is one link: a scheme link, or a bare domain name whose
    // top-level label is in tlds(). Does not trim.
    static bool isURL(std::string_view text);

    // The lower-case top-level labels accepted for bare domain names.
    static const std::array<std::string_view, 27>& tlds();
};

}  // namespace pivorel
