#include "Pivorel/Bar/BarItemView.h"

#include <QPainter>
#include <QPainterPath>

#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/Symbols.h"

namespace pivorel {

BarItemView::BarItemView(const BarItem& item, bool highlighted, std::function<void()> onClick,
                         QWidget* parent)
    : BarItemView(Kind::item, QString::fromStdString(item.symbol),
                  QString::fromStdString(item.label), highlighted, std::move(onClick), parent) {}

BarItemView* BarItemView::more(std::function<void()> onClick, QWidget* parent) {
    return new BarItemView(Kind::more, QStringLiteral("ellipsis"), QString(), false,
                           std::move(onClick), parent);
}

BarItemView::BarItemView(Kind kind, QString symbol, QString label, bool highlighted,
                         std::function<void()> onClick, QWidget* parent)
    : ClickableView(std::move(onClick), parent),
      kind_(kind),
      symbol_(std::move(symbol)),
      highlighted_(highlighted),
      size_(static_cast<int>(kind == Kind::more ? moreWidth : BarMetrics::itemWidth),
            static_cast<int>(height)) {
    setFixedSize(size_);
    setFocusPolicy(Qt::NoFocus);
    if (!label.isEmpty()) {
        setToolTip(label);
        setAccessibleName(label);
    }
}

void BarItemView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();
    const QPalette& pal = palette();
    QColor foreground;
    if (highlighted_) {
        QPainterPath capsule;
        capsule.addRoundedRect(area, area.height() / 2, area.height() / 2);
        p.fillPath(capsule, PivorelStyle::accent(pal));
        foreground = Qt::white;
    } else if (kind_ == Kind::more) {
        foreground = PivorelStyle::secondary(pal);
    } else {
        foreground = PivorelStyle::primary(pal);
        foreground.setAlphaF(foreground.alphaF() * 0.8f);
    }
    p.setFont(Symbols::font(kind_ == Kind::more ? 12 : 13));
    p.setPen(foreground);
    p.drawText(area, Qt::AlignCenter, Symbols::text(symbol_.toStdString()));
}

}  // namespace pivorel
