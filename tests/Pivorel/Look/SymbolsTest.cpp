#include "Pivorel/Look/Symbols.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QRawFont>
#include <set>

#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Actions/ExtensionCatalog.h"
#include "BrisendoKit/LanguageModel/AskKind.h"
#include "Pivorel/ViewTesting.h"

using namespace pivorel;
using pivorel::test::qtApp;
using pivorel::test::shape;

namespace {

quint32 glyphOf(const QRawFont& font, char32_t codepoint) {
    const QString text = QString::fromUcs4(&codepoint, 1);
    const auto glyphs = font.glyphIndexesForString(text);
    return glyphs.isEmpty() ? 0 : glyphs.front();
}

}  // namespace

TEST(Symbols, EveryEntryDrawsARealGlyphAndItsLigatureNamesTheSameOne) {
    qtApp("offscreen");
    const QFont font = Symbols::font(13);
    ASSERT_EQ(QFontInfo(font).family(), QString::fromLatin1(Symbols::fontFamily))
        << "the icon font package is missing";
    const QRawFont raw = QRawFont::fromFont(font);
    std::set<std::string_view> seen;
    auto check = [&](std::string_view name, Symbols::Glyph glyph) {
        const quint32 byCodepoint = glyphOf(raw, glyph.codepoint);
        EXPECT_NE(byCodepoint, 0u)
            << name << " -> U+" << std::hex << static_cast<std::uint32_t>(glyph.codepoint);
        // Shaping the ligature name must give exactly one glyph, the same one: a typo in
        // either column shows up here.
        QTextLayout layout(
            QString::fromLatin1(glyph.ligature.data(), static_cast<int>(glyph.ligature.size())),
            font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const auto runs = layout.glyphRuns();
        ASSERT_EQ(runs.size(), 1) << name;
        EXPECT_EQ(runs.front().glyphIndexes(), QList<quint32>{byCodepoint})
            << name << " -> " << glyph.ligature;
    };
    for (auto name : Symbols::names()) {
        EXPECT_TRUE(seen.insert(name).second) << "listed twice: " << name;
        check(name, Symbols::glyph(name));
    }
    check("(generic)", Symbols::generic());
}

TEST(Symbols, KnowsEveryNameTheProgramDrawsAndFallsBackForOthers) {
    qtApp("offscreen");
    std::vector<std::string> used = {"ellipsis", "info.circle", "xmark.circle.fill",
                                     "exclamationmark.triangle", "link"};
    for (const auto& id : ActionID::builtins()) used.push_back(id.symbol());
    for (auto kind : {AskKind::ask, AskKind::translate}) used.emplace_back(askKindSymbol(kind));
    for (const auto& preset : ExtensionCatalog::builtin().items) used.push_back(preset.symbol);
    for (const auto& name : used) EXPECT_TRUE(Symbols::isKnown(name)) << name;

    EXPECT_FALSE(Symbols::isKnown("no.such.symbol"));
    EXPECT_EQ(Symbols::glyph("no.such.symbol").codepoint, Symbols::generic().codepoint);
    EXPECT_EQ(Symbols::glyph("").codepoint, Symbols::generic().codepoint);
    // Drawn by code point, so one character whatever the name.
    EXPECT_EQ(Symbols::text("sparkles").size(), 1);
    EXPECT_EQ(shape(Symbols::text("whatever"), Symbols::font(13)).missing, 0);
}
