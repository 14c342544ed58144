#include "Pivorel/Look/Symbols.h"

#include "Pivorel/Look/PivorelStyle.h"

#include <array>
#include <utility>

namespace pivorel {

namespace {

struct Entry {
    std::string_view name;
    Symbols::Glyph glyph;
};

// Names used by the built-in actions, the preset catalog, the ask kinds, the bar, the
// panel, the status menu and the settings window.
constexpr std::array kTable{
    // Built-in actions.
    Entry{"sparkles", {"auto_awesome", 0xe65f}},
    Entry{"character.bubble", {"translate", 0xe8e2}},
    Entry{"note.text", {"sticky_note_2", 0xf1fc}},
    Entry{"calendar.badge.plus", {"edit_calendar", 0xe742}},
    Entry{"checkmark.circle", {"check_circle_outline", 0xe92d}},
    Entry{"book.closed", {"book", 0xe865}},
    Entry{"magnifyingglass", {"search", 0xe8b6}},
    Entry{"magnifyingglass.circle", {"manage_search", 0xf02f}},
    Entry{"safari", {"explore", 0xe87a}},
    Entry{"doc.on.doc", {"content_copy", 0xe14d}},
    Entry{"scissors", {"content_cut", 0xe14e}},
    Entry{"doc.on.clipboard", {"content_paste", 0xe14f}},
    Entry{"character.book.closed", {"menu_book", 0xea19}},
    Entry{"link", {"link", 0xe157}},
    // Preset catalog.
    Entry{"apple.logo", {"phone_iphone", 0xe325}},
    Entry{"bag", {"shopping_bag", 0xf1cc}},
    Entry{"book.pages", {"auto_stories", 0xe666}},
    Entry{"bubble.left.and.bubble.right", {"forum", 0xe0bf}},
    Entry{"bubble.left.and.text.bubble.right", {"question_answer", 0xe8af}},
    Entry{"building", {"apartment", 0xea40}},
    Entry{"building.2", {"business", 0xe0af}},
    Entry{"building.columns", {"account_balance", 0xe84f}},
    Entry{"cart", {"shopping_cart", 0xe8cc}},
    Entry{"character.book.closed.fill", {"menu_book", 0xea19}},
    Entry{"chart.line.uptrend.xyaxis", {"trending_up", 0xe8e5}},
    Entry{"chevron.left.forwardslash.chevron.right", {"code", 0xe86f}},
    Entry{"chevron.left.slash.chevron.right", {"code", 0xe86f}},
    Entry{"doc.richtext", {"article", 0xef42}},
    Entry{"doc.text.magnifyingglass", {"find_in_page", 0xe880}},
    Entry{"film", {"movie", 0xe02c}},
    Entry{"globe", {"language", 0xe894}},
    Entry{"globe.asia.australia", {"public", 0xe80b}},
    Entry{"graduationcap", {"school", 0xe80c}},
    Entry{"map", {"map", 0xe55b}},
    Entry{"newspaper", {"newspaper", 0xeb81}},
    Entry{"person.3", {"groups", 0xf233}},
    Entry{"play.rectangle", {"smart_display", 0xf06a}},
    Entry{"play.tv", {"live_tv", 0xe639}},
    Entry{"questionmark.bubble", {"live_help", 0xe0c6}},
    Entry{"shield.lefthalf.filled", {"shield", 0xe9e0}},
    Entry{"shippingbox", {"inventory_2", 0xe1a1}},
    Entry{"shippingbox.fill", {"inventory_2", 0xe1a1}},
    Entry{"sparkle.magnifyingglass", {"travel_explore", 0xe2db}},
    Entry{"tag", {"sell", 0xf05b}},
    Entry{"text.book.closed", {"library_books", 0xe02f}},
    Entry{"text.book.closed.fill", {"library_books", 0xe02f}},
    Entry{"text.bubble", {"chat", 0xe0b7}},
    Entry{"text.quote", {"format_quote", 0xe244}},
    Entry{"translate", {"translate", 0xe8e2}},
    Entry{"y.square", {"whatshot", 0xe80e}},
    Entry{"magnifyingglass.circle.fill", {"manage_search", 0xf02f}},
    // Bar and panel.
    Entry{"ellipsis", {"more_horiz", 0xe5d3}},
    Entry{"info.circle", {"info_outline", 0xe88f}},
    Entry{"xmark.circle.fill", {"cancel", 0xe5c9}},
    Entry{"exclamationmark.triangle", {"warning_amber", 0xf083}},
    // Status menu, settings window, language packs.
    Entry{"arrow.turn.down.right", {"subdirectory_arrow_right", 0xe5da}},
    Entry{"gearshape", {"settings", 0xe8b8}},
    Entry{"bolt", {"bolt", 0xea0b}},
    Entry{"macwindow", {"web_asset", 0xe069}},
    Entry{"arrow.triangle.2.circlepath", {"sync", 0xe627}},
    Entry{"arrow.down.circle", {"arrow_circle_down", 0xf181}},
    Entry{"checkmark.circle.fill", {"check_circle", 0xe86c}},
    Entry{"exclamationmark.triangle.fill", {"warning", 0xe002}},
    Entry{"eye.slash", {"visibility_off", 0xe8f5}},
    Entry{"line.3.horizontal", {"drag_handle", 0xe25d}},
    Entry{"minus.circle.fill", {"remove_circle", 0xe15c}},
    Entry{"pencil", {"edit", 0xe3c9}},
    Entry{"plus", {"add", 0xe145}},
    Entry{"questionmark.square.dashed", {"help_center", 0xf1c0}},
    Entry{"rectangle.split.3x1", {"view_week", 0xe8f3}},
    Entry{"square.grid.2x2", {"grid_view", 0xe9b0}},
};

constexpr Symbols::Glyph kGeneric{"help_outline", 0xe8fd};

const Entry* find(std::string_view name) {
    for (const auto& entry : kTable) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

}  // namespace

Symbols::Glyph Symbols::glyph(std::string_view name) {
    const Entry* entry = find(name);
    return entry ? entry->glyph : kGeneric;
}

bool Symbols::isKnown(std::string_view name) {
    return find(name) != nullptr;
}

std::vector<std::string_view> Symbols::names() {
    std::vector<std::string_view> out;
    out.reserve(kTable.size());
    for (const auto& entry : kTable) out.push_back(entry.name);
    return out;
}

Symbols::Glyph Symbols::generic() {
    return kGeneric;
}

QString Symbols::text(std::string_view name) {
    const char32_t cp = glyph(name).codepoint;
    return QString::fromUcs4(&cp, 1);
}

QFont Symbols::font(double size) {
    QFont font;
    font.setFamilies({QString::fromLatin1(fontFamily)});
    font.setPointSizeF(PivorelStyle::points(size * 1.25));
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

}  // namespace pivorel
