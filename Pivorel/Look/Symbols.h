#pragma once

#include <QFont>
#include <QString>
#include <string_view>
#include <vector>

namespace pivorel {

// Symbol names (the identifiers actions, presets and views use for their icons) drawn as
// Material Icons glyphs. One table holds every name the program uses; an unknown name,
// such as a misspelt one in a custom action, draws a generic glyph.
struct Symbols {
    Symbols() = delete;

    static constexpr const char* fontFamily = "Material Icons";

    struct Glyph {
        std::string_view ligature;  // the glyph's name in the font
        char32_t codepoint;         // the same glyph by code point
    };

    static Glyph glyph(std::string_view name);
    static bool isKnown(std::string_view name);
    // Every known name, in table order.
    static std::vector<std::string_view> names();
    // The glyph drawn for a name not in the table.
    static Glyph generic();

    // The text to draw with font(): the glyph's code point, which needs no shaping.
    static QString text(std::string_view name);
    // The icon font for a symbol standing beside text of `size` logical pixels; the glyphs
    // sit inside a square em with padding, so they are drawn a little larger.
    static QFont font(double size);
};

}  // namespace pivorel
