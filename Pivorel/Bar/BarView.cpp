#include "Pivorel/Bar/BarView.h"

#include <QPainter>
#include <QPainterPath>

#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "Pivorel/Bar/BarItemView.h"
#include "Pivorel/Look/PivorelStyle.h"

namespace pivorel {

BarView::BarView(std::shared_ptr<BarModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), shadow_(0.26, 9, QPointF(0, 4)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    if (model_) changed_ = model_->changed.connect([this] { rebuild(); });
    rebuild();
}

double BarView::contentWidth() const {
    const double n = static_cast<double>(items_.size());
    // padding, the items, the divider and "…", 1 between each pair, padding
    return padding + n * BarMetrics::itemWidth + 1 + BarItemView::moreWidth + (n + 1) * spacing +
           padding;
}

QSize BarView::sizeHint() const {
    const double m = BarPlacement::shadowInset;
    return {static_cast<int>(contentWidth() + 2 * m), static_cast<int>(BarMetrics::height + 2 * m)};
}

QRectF BarView::capsuleRect() const {
    const double m = BarPlacement::shadowInset;
    return {m, m, contentWidth(), BarMetrics::height};
}

void BarView::detach() {
    changed_.reset();
    model_.reset();
}

void BarView::rebuild() {
    for (auto* view : items_) {
        view->hide();
        view->deleteLater();
    }
    items_.clear();
    if (more_) {
        more_->hide();
        more_->deleteLater();
    }
    const double m = BarPlacement::shadowInset;
    const double top = m + (BarMetrics::height - BarItemView::height) / 2;
    double x = m + padding;
    if (model_) {
        const auto& items = model_->items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto index = static_cast<std::int64_t>(i);
            auto* view = new BarItemView(
                items[i], i == 0, [this, index] { choose(index); }, this);
            view->move(static_cast<int>(x), static_cast<int>(top));
            view->show();
            items_.push_back(view);
            x += BarMetrics::itemWidth + spacing;
        }
    }
    x += 1 + spacing;  // the divider
    more_ = BarItemView::more([this] { chooseMore(); }, this);
    more_->move(static_cast<int>(x), static_cast<int>(top));
    more_->show();
    resize(sizeHint());
    updateGeometry();
    update();
}

void BarView::choose(std::int64_t index) {
    // Copies, because the callback may drop this view and the model with it.
    auto model = model_;
    if (model) model->chosen.emit(index);
}

void BarView::chooseMore() {
    auto model = model_;
    if (model) model->moreChosen.emit();
}

void BarView::setClippedToShape(bool clipped) {
    if (clipped == clipped_) return;
    clipped_ = clipped;
    update();
}

void BarView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF capsule = capsuleRect();
    const double r = capsule.height() / 2;
    QPainterPath shape;
    shape.addRoundedRect(capsule, r, r);

    if (clipped_) {
        p.fillRect(rect(), PivorelStyle::background(pal));
    } else {
        shadow_.paint(p, shape);
    }
    p.fillPath(shape, PivorelStyle::background(pal));
    // A hairline border just inside the capsule's edge.
    QPainterPath border;
    border.addRoundedRect(capsule.adjusted(0.25, 0.25, -0.25, -0.25), r - 0.25, r - 0.25);
    p.strokePath(border, QPen(PivorelStyle::separator(pal), 0.5));

    const double n = static_cast<double>(items_.size());
    const double dividerX = capsule.x() + padding + n * (BarMetrics::itemWidth + spacing);
    QColor divider = PivorelStyle::separator(pal);
    divider.setAlphaF(divider.alphaF() * 0.5f);
    p.fillRect(QRectF(dividerX, capsule.center().y() - dividerHeight / 2, 1, dividerHeight),
               divider);
}

}  // namespace pivorel
