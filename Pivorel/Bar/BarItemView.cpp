#include "Pivorel/Bar/BarItemView.h"

#include <QEnterEvent>
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
    QPainterPath capsule;
    capsule.addRoundedRect(area, area.height() / 2, area.height() / 2);
    const bool pressed = isPressed();
    QColor foreground;
    if (highlighted_) {
        QColor fill = PivorelStyle::accent(pal);
        if (pressed) {
            fill = fill.darker(118);
        } else if (hovered_) {
            fill = fill.lighter(110);
        }
        p.fillPath(capsule, fill);
        foreground = Qt::white;
    } else {
        if (pressed || hovered_) {
            QColor tint = pal.color(QPalette::Highlight);
            tint.setAlphaF(pressed ? 0.32f : 0.16f);
            p.fillPath(capsule, tint);
        }
        if (kind_ == Kind::more) {
            foreground = PivorelStyle::secondary(pal);
        } else {
            foreground = PivorelStyle::primary(pal);
            foreground.setAlphaF(foreground.alphaF() * 0.8f);
        }
    }
    p.setFont(Symbols::font(kind_ == Kind::more ? 12 : 13));
    p.setPen(foreground);
    p.drawText(area, Qt::AlignCenter, Symbols::text(symbol_.toStdString()));
}

void BarItemView::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    ClickableView::enterEvent(event);
}

void BarItemView::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    ClickableView::leaveEvent(event);
}

void BarItemView::mousePressEvent(QMouseEvent* event) {
    ClickableView::mousePressEvent(event);
    update();
}

void BarItemView::mouseReleaseEvent(QMouseEvent* event) {
    // Before the click's callback, which may drop this view.
    update();
    ClickableView::mouseReleaseEvent(event);
}

}  // namespace pivorel
