#include "Pivorel/Panel/NoticeView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/Symbols.h"

namespace pivorel {

namespace {

constexpr double kMargin = 14;
constexpr double kSpacing = 10;
constexpr double kMinSpacer = 8;
constexpr double kIconSize = 13;

}  // namespace

NoticeView::NoticeView(const std::string& text, QWidget* parent) : QWidget(parent) {
    // Symbol, text, and a flexible space, with the spacing between each.
    const double width =
        PanelMetrics::listWidth - 2 * kMargin - iconWidth() - 2 * kSpacing - kMinSpacer;
    text_ = WrappedText(QString::fromStdString(text), PivorelStyle::font(12.5), width);
    setAccessibleName(QString::fromStdString(text));
    setFixedSize(sizeHint());
}

double NoticeView::iconWidth() const {
    return QFontMetricsF(Symbols::font(kIconSize)).height();
}

QSize NoticeView::sizeHint() const {
    const double h = std::max(iconWidth(), text_.height()) + 2 * kMargin;
    return {static_cast<int>(PanelMetrics::listWidth), static_cast<int>(std::ceil(h))};
}

void NoticeView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const double inner = height() - 2 * kMargin;
    const double icon = iconWidth();
    p.setFont(Symbols::font(kIconSize));
    p.setPen(PivorelStyle::secondary(pal));
    p.drawText(QRectF(kMargin, kMargin + (inner - icon) / 2, icon, icon), Qt::AlignCenter,
               Symbols::text("info.circle"));
    text_.draw(p, QPointF(kMargin + icon + kSpacing, kMargin + (inner - text_.height()) / 2),
               PivorelStyle::primary(pal));
}

}  // namespace pivorel
