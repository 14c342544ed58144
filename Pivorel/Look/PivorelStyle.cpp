#include "Pivorel/Look/PivorelStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScreen>

#include "BrisendoKit/Localization/Localizer.h"

namespace pivorel {

namespace {

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

}  // namespace

QColor PivorelStyle::accent(bool dark) {
    return dark ? QColor::fromRgbF(0.96f, 0.58f, 0.50f) : QColor::fromRgbF(0.90f, 0.42f, 0.34f);
}

bool PivorelStyle::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

QColor PivorelStyle::background(const QPalette& palette) {
    return palette.color(QPalette::Window);
}

QColor PivorelStyle::primary(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), 0.88);
}

QColor PivorelStyle::secondary(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), 0.56);
}

QColor PivorelStyle::tertiary(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), 0.36);
}

QColor PivorelStyle::separator(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.18 : 0.14);
}

QColor PivorelStyle::quaternaryFill(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.10 : 0.06);
}

QColor PivorelStyle::orange(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 159, 10) : QColor(230, 126, 0);
}

QString PivorelStyle::cjkFamily(std::string_view language) {
    if (language == "zh-Hant") return QStringLiteral("Noto Sans CJK TC");
    if (language == "ja") return QStringLiteral("Noto Sans CJK JP");
    if (language == "ko") return QStringLiteral("Noto Sans CJK KR");
    return QStringLiteral("Noto Sans CJK SC");
}

QStringList PivorelStyle::families(std::string_view language) {
    // Noto Sans where the desktop has it (its proportions match the CJK face), else the
    // face every Debian desktop ships.
    return {QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"), cjkFamily(language)};
}

QFont PivorelStyle::font(double size, QFont::Weight weight) {
    QFont font;
    font.setFamilies(families(Localizer::effectiveLanguage()));
    font.setPointSizeF(points(size));
    font.setWeight(weight);
    return font;
}

void PivorelStyle::followLanguage() {
    // Qt caches a fallback chain under its first family alone, so the chain built for one
    // CJK face would keep serving the next language. Registering and dropping a font is the
    // public way to empty that cache.
    const int id = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    if (id >= 0) QFontDatabase::removeApplicationFont(id);
    QFont font = QApplication::font();
    font.setFamilies(families(Localizer::effectiveLanguage()));
    QApplication::setFont(font);
}

// Point sizes are resolved with the screen's logical DPI; dividing by it keeps the size in
// logical pixels whatever the desktop's font DPI.
double PivorelStyle::points(double pixels) {
    const auto* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return pixels * 72.0 / (dpi > 0 ? dpi : 96.0);
}

QPalette PivorelStyle::palette(bool dark) {
    const QColor window = dark ? QColor(40, 40, 42) : QColor(246, 246, 246);
    const QColor text = dark ? QColor(240, 240, 242) : QColor(20, 20, 22);
    // Dark cards and fields sit lighter than the window, so the style's outlines (drawn
    // darker than the window) still show on them.
    const QColor base = dark ? QColor(54, 54, 58) : QColor(255, 255, 255);
    QPalette p(window);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::Button, dark ? QColor(62, 62, 66) : QColor(236, 236, 236));
        p.setColor(group, QPalette::Highlight, accent(dark));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::PlaceholderText, withAlpha(text, 0.4));
        p.setColor(group, QPalette::ToolTipBase, base);
        p.setColor(group, QPalette::ToolTipText, text);
    }
    const QColor disabled = withAlpha(text, 0.35);
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Text, disabled);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    return p;
}

}  // namespace pivorel
