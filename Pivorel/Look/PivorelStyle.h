#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QStringList>
#include <string_view>

namespace pivorel {

// The program's colours and fonts, shared by the bar, the panel and the settings window.
// Colours are resolved at draw time from the palette the widget paints with, so a dark
// palette gives the dark variants.
struct PivorelStyle {
    PivorelStyle() = delete;

    // Latin text comes from the desktop's sans-serif face: the CJK faces draw Latin quotes
    // and apostrophes full-width ("doesn’ t"). Han falls back to the CJK face of the
    // interface language, named explicitly: left to fontconfig, Chinese gets Japanese shapes.
    static QStringList families(std::string_view language);
    static QString cjkFamily(std::string_view language);

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

    // `size` in logical pixels (the unit of every other measure), fractions kept; the
    // families of the interface language.
    static QFont font(double size, QFont::Weight weight = QFont::Normal);
    // Gives the application's font (what standard widgets draw with) the families of the
    // interface language, and forgets the fallback chains built for the previous one. At
    // start and whenever the language changes.
    static void followLanguage();
    // The point size that draws `pixels` logical pixels high on the primary screen.
    static double points(double pixels);

    // A complete light or dark palette, for drawing in one appearance whatever the desktop's.
    static QPalette palette(bool dark);
};

}  // namespace pivorel
