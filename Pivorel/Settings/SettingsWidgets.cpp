#include "Pivorel/Settings/SettingsWidgets.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/Symbols.h"

namespace pivorel {

namespace {

// Names the settings pages draw that the shared symbol table does not hold yet, as Material
// Icons code points.
char32_t extraGlyph(std::string_view name) {
    if (name == "eye") return 0xe8f4;  // visibility
    return 0;
}

QString glyphText(std::string_view name) {
    if (!Symbols::isKnown(name)) {
        if (const char32_t cp = extraGlyph(name)) return QString::fromUcs4(&cp, 1);
    }
    return Symbols::text(name);
}

}  // namespace

QPixmap SettingsWidgets::symbolPixmap(std::string_view name, int size, QColor color) {
    const double ratio = 2.0;  // sharp on high-density screens and in screenshots
    QPixmap pixmap(static_cast<int>(size * ratio), static_cast<int>(size * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(Symbols::font(size * 0.8));
    painter.setPen(color.isValid() ? color : PivorelStyle::primary(QGuiApplication::palette()));
    painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, glyphText(name));
    return pixmap;
}

QIcon SettingsWidgets::symbolIcon(std::string_view name, int size, QColor color) {
    return QIcon(symbolPixmap(name, size, color));
}

QLabel* SettingsWidgets::label(QWidget* parent, double size, bool secondary, bool bold) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setFont(PivorelStyle::font(size, bold ? QFont::DemiBold : QFont::Normal));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, PivorelStyle::secondary(palette));
        label->setPalette(palette);
    }
    return label;
}

QLabel* SettingsWidgets::tag(QWidget* parent) {
    auto* tag = new QLabel(parent);
    tag->setFont(PivorelStyle::font(10.5, QFont::Medium));
    const QColor accent = PivorelStyle::accent(PivorelStyle::isDark(tag->palette()));
    tag->setStyleSheet(
        QStringLiteral("QLabel { color: %1; background: %2; border-radius: 4px;"
                       " padding: 1px 6px; }")
            .arg(accent.name(),
                 QColor(accent.red(), accent.green(), accent.blue(), 36).name(QColor::HexArgb)));
    return tag;
}

QFrame* SettingsWidgets::card(QWidget* parent, QVBoxLayout** layout) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("settingsCard"));
    frame->setStyleSheet(
        QStringLiteral("QFrame#settingsCard { background: palette(base); border-radius: 10px;"
                       " border: 1px solid rgba(0, 0, 0, 24); }"));
    auto* box = new QVBoxLayout(frame);
    box->setContentsMargins(14, 12, 14, 12);
    box->setSpacing(8);
    if (layout) *layout = box;
    return frame;
}

QFrame* SettingsWidgets::separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 20); border: none;"));
    return line;
}

void SettingsWidgets::present(QWidget& window) {
    if (!window.isVisible()) {
        window.show();
        if (const auto* screen = window.screen()) {
            window.move(screen->availableGeometry().center() - window.rect().center());
        }
    }
    window.raise();
    window.activateWindow();
}

}  // namespace pivorel
