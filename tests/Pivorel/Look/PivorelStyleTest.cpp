#include "Pivorel/Look/PivorelStyle.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>

#include "BrisendoKit/Localization/Localizer.h"
#include "Pivorel/ViewTesting.h"

using namespace pivorel;
using pivorel::test::qtApp;
using pivorel::test::shape;
using pivorel::test::Shaped;

TEST(PivorelStyle, LatinIsNarrowAndHanComesFromTheInterfaceLanguagesFace) {
    qtApp("offscreen");
    struct Case {
        const char* language;
        const char* hanFamily;
    };
    for (const auto& c : {Case{"en", "Noto Sans CJK SC"}, Case{"zh-Hans", "Noto Sans CJK SC"},
                          Case{"zh-Hant", "Noto Sans CJK TC"}, Case{"ja", "Noto Sans CJK JP"},
                          Case{"ko", "Noto Sans CJK KR"}}) {
        // One process through every language: the fallback must follow each switch.
        Localizer::setLanguageOverride(c.language);
        PivorelStyle::followLanguage();
        const QFont font = PivorelStyle::font(13);
        // A CJK face draws it a full em wide: "doesn’ t".
        const double em = QFontInfo(font).pixelSize();
        EXPECT_LT(QFontMetricsF(font).horizontalAdvance(QStringLiteral("’")), em / 2) << c.language;
        const Shaped han = shape(QStringLiteral("直选 追问，回车发送 复制"), font);
        EXPECT_EQ(han.missing, 0) << c.language;
        EXPECT_TRUE(han.families.contains(c.hanFamily)) << c.language;
    }
    Localizer::setLanguageOverride("zh-Hans");
    PivorelStyle::followLanguage();
}
