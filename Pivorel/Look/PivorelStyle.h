#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace pivorel {

// The program's colours and fonts, shared by the bar, the panel and the settings window.
// Colours are resolved at draw time from the palette the widget paints with, so a dark
// palette gives the dark variants.
struct PivorelStyle {
    PivorelStyle() = delete;

    // Chinese text must name the Simplified Chinese family: left to fallback, fontconfig
    // picks the Japanese shapes of the same characters.
    static constexpr const char* textFamily = "Noto Sans CJK SC";

    static QColor accent(bool dark);
    static QColor accent(const QPalette& palette) { return accent(isDark(palette)); }
    // Dark when the palette's window colour is darker than its text.
    static bool isDark(const QPalette& palette);

    // The hierarchy of foreground styles and fills over the window background.
    static QColor background(const QPalette& palette);
    static QColor primary(const QPalette& palette);
    static QColor secondary(const QPalette& palette);
    static QColor tertiary(const QPalette& palette);
    static QColor separator(const QPalette& palette);
    static QColor quaternaryFill(const QPalette& palette);
    static QColor orange(const QPalette& palette);

    // `size` in logical pixels (the unit of every other measure), fractions kept.
    static QFont font(double size, QFont::Weight weight = QFont::Normal);
    // The point size that draws `pixels` logical pixels high on the primary screen.
    static double points(double pixels);

    // A complete light or dark palette, for drawing in one appearance whatever the desktop's.
    static QPalette palette(bool dark);
};

}  // namespace pivorel
