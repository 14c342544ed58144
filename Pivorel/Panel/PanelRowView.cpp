#include "Pivorel/Panel/PanelRowView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "BrisendoKit/Localization/L.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/Symbols.h"

namespace pivorel {

namespace {

constexpr double kMargin = 8;
constexpr double kSpacing = 10;
constexpr double kBadge = 18;
constexpr double kIconWidth = 18;
constexpr double kTitleSize = 13.5;
constexpr double kMinTitleScale = 0.78;
constexpr double kMinSpacer = 8;
constexpr double kTagSize = 9.5;

QFont titleFont(std::int64_t index, double size) {
    return PivorelStyle::font(size, index == 0 ? QFont::DemiBold : QFont::Normal);
}

QFont hintFont() {
    return PivorelStyle::font(11);
}

QFont tagFont() {
    return PivorelStyle::font(kTagSize, QFont::Medium);
}

QString tagText() {
    return QString::fromStdString(L("最可能"));
}

}  // namespace

PanelRowView::PanelRowView(std::int64_t index, PanelRow row, bool highlighted, bool showTopTag,
                           std::function<void()> onClick, QWidget* parent)
    : ClickableView(std::move(onClick), parent),
      index_(index),
      row_(std::move(row)),
      highlighted_(highlighted),
      showTopTag_(showTopTag) {
    setFixedHeight(static_cast<int>(height));
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(QString::fromStdString(row_.title));
    setToolTip(QString::fromStdString(row_.hint));
}

void PanelRowView::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    update();
}

PanelRowView::Layout PanelRowView::layout() const {
    Layout out;
    const double w = width();
    const double midY = height / 2;
    double x = kMargin;
    out.badge = QRectF(x, midY - kBadge / 2, kBadge, kBadge);
    x += kBadge + kSpacing;
    out.icon = QRectF(x, 0, kIconWidth, height);
    x += kIconWidth + kSpacing;

    double tagWidth = 0;
    if (showsTopTag()) tagWidth = QFontMetricsF(tagFont()).horizontalAdvance(tagText()) + 10;
    const QString title = QString::fromStdString(row_.title);
    const QString hint = QString::fromStdString(row_.hint);
    const double titleNatural =
        QFontMetricsF(titleFont(index_, kTitleSize)).horizontalAdvance(title);
    const double hintNatural = QFontMetricsF(hintFont()).horizontalAdvance(hint);
    const double ellipsis = QFontMetricsF(hintFont()).horizontalAdvance(QChar(0x2026));

    // Room for title and hint after the fixed parts, the tag, and the flexible space with
    // its spacing on both sides.
    const double fixed =
        x + (tagWidth > 0 ? tagWidth + kSpacing : 0) + kSpacing + kMinSpacer + kSpacing + kMargin;
    const double room = std::max(0.0, w - fixed);
    // The title keeps its room first; the hint gets what is left, at least "…" when it has
    // text at all.
    const double hintMin = hint.isEmpty() ? 0 : std::min(hintNatural, ellipsis);
    const double hintWidth = std::max(hintMin, std::min(hintNatural, room - titleNatural));
    const double titleWidth = std::max(0.0, std::min(titleNatural, room - hintWidth));
    out.titleSize = kTitleSize;
    if (titleNatural > titleWidth && titleNatural > 0) {
        out.titleSize =
            std::max(kTitleSize * kMinTitleScale, kTitleSize * titleWidth / titleNatural);
    }
    out.title = QRectF(x, 0, titleWidth, height);
    x += titleWidth;
    if (tagWidth > 0) {
        const double tagHeight = QFontMetricsF(tagFont()).height() + 3;
        x += kSpacing;
        out.tag = QRectF(x, midY - tagHeight / 2, tagWidth, tagHeight);
    }
    out.hint = QRectF(w - kMargin - hintWidth, 0, hintWidth, height);
    return out;
}

void PanelRowView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor accent = PivorelStyle::accent(pal);
    const Layout parts = layout();

    if (highlighted_) {
        QPainterPath background;
        background.addRoundedRect(QRectF(rect()), 8, 8);
        QColor fill = accent;
        fill.setAlphaF(0.12f);
        p.fillPath(background, fill);
    }

    QPainterPath badge;
    badge.addRoundedRect(parts.badge, 5, 5);
    p.fillPath(badge, highlighted_ ? accent : PivorelStyle::quaternaryFill(pal));
    p.setFont(PivorelStyle::font(11, QFont::DemiBold));
    p.setPen(highlighted_ ? QColor(Qt::white) : PivorelStyle::secondary(pal));
    p.drawText(parts.badge, Qt::AlignCenter, QString::number(index_ + 1));

    p.setFont(Symbols::font(13));
    p.setPen(highlighted_ ? accent : PivorelStyle::secondary(pal));
    p.drawText(parts.icon, Qt::AlignCenter, Symbols::text(row_.symbol));

    const QFont title = titleFont(index_, parts.titleSize);
    p.setFont(title);
    p.setPen(PivorelStyle::primary(pal));
    p.drawText(parts.title, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(title).elidedText(QString::fromStdString(row_.title), Qt::ElideRight,
                                               parts.title.width() + 0.5));

    if (!parts.tag.isEmpty()) {
        QPainterPath capsule;
        capsule.addRoundedRect(parts.tag, parts.tag.height() / 2, parts.tag.height() / 2);
        QColor fill = accent;
        fill.setAlphaF(0.14f);
        p.fillPath(capsule, fill);
        p.setFont(tagFont());
        p.setPen(accent);
        p.drawText(parts.tag, Qt::AlignCenter, tagText());
    }

    p.setFont(hintFont());
    p.setPen(PivorelStyle::tertiary(pal));
    p.drawText(parts.hint, Qt::AlignRight | Qt::AlignVCenter,
               QFontMetricsF(hintFont())
                   .elidedText(QString::fromStdString(row_.hint), Qt::ElideRight,
                               parts.hint.width() + 0.5));
}

}  // namespace pivorel
