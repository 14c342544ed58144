#include "Pivorel/Panel/PanelRootView.h"

#include <QPainter>
#include <QPainterPath>

#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/AskView.h"
#include "Pivorel/Panel/NoticeView.h"
#include "Pivorel/Panel/PanelListView.h"

namespace pivorel {

PanelRootView::PanelRootView(std::shared_ptr<PanelModel> model, PasteboardLike* pasteboard,
                             QWidget* parent)
    : QWidget(parent),
      model_(std::move(model)),
      pasteboard_(pasteboard),
      shadow_(0.28, 14, QPointF(0, 6)) {
    setAttribute(Qt::WA_TranslucentBackground);
    if (model_)
        modeChanged_ = model_->modeChanged.connect([this](const PanelMode&) { syncMode(); });
    syncMode();
}

void PanelRootView::detach() {
    modeChanged_.reset();
    model_.reset();
}

void PanelRootView::syncMode() {
    if (!model_) return;
    const PanelMode& mode = model_->mode();
    const void* ask = mode.isAsk() ? model_->ask.get() : nullptr;
    if (built_ && mode == shownMode_ && ask == shownAsk_) return;
    built_ = true;
    shownMode_ = mode;
    shownAsk_ = ask;

    if (view_) {
        // The old view may be the one whose click changed the mode: it goes later.
        view_->hide();
        view_->deleteLater();
        view_ = nullptr;
    }
    if (const auto* notice = std::get_if<PanelMode::Notice>(&mode.value)) {
        view_ = new NoticeView(notice->text, this);
    } else if (mode.isAsk()) {
        if (model_->ask) {
            // Whoever shows the model listens; the model is held while it is told.
            auto close = [weak = std::weak_ptr<PanelModel>(model_)] {
                if (auto model = weak.lock()) model->closeRequested.emit();
            };
            view_ = new AskView(model_->ask, model_->selection(), close, pasteboard_, this);
        }
    } else {
        view_ = new PanelListView(model_, this);
    }
    const double m = PanelMetrics::shadowInset;
    if (view_) {
        view_->move(static_cast<int>(m), static_cast<int>(m));
        view_->show();
    }
    resize(sizeHint());
    updateGeometry();
    update();
}

QSize PanelRootView::sizeHint() const {
    const int m = static_cast<int>(PanelMetrics::shadowInset);
    const QSize content = view_ ? view_->size() : QSize(0, 0);
    return {content.width() + 2 * m, content.height() + 2 * m};
}

QRectF PanelRootView::contentRect() const {
    const double m = PanelMetrics::shadowInset;
    if (!view_) return {};
    return {m, m, static_cast<double>(view_->width()), static_cast<double>(view_->height())};
}

void PanelRootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}

void PanelRootView::setClippedToShape(bool clipped) {
    if (clipped == clipped_) return;
    clipped_ = clipped;
    update();
}

void PanelRootView::paintEvent(QPaintEvent*) {
    const QRectF content = contentRect();
    if (content.isEmpty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const double r = PanelMetrics::cornerRadius;
    QPainterPath shape;
    shape.addRoundedRect(content, r, r);
    if (clipped_) {
        p.fillRect(rect(), PivorelStyle::background(pal));
    } else {
        shadow_.paint(p, shape);
    }
    p.fillPath(shape, PivorelStyle::background(palette()));
    QPainterPath border;
    border.addRoundedRect(content.adjusted(0.25, 0.25, -0.25, -0.25), r - 0.25, r - 0.25);
    p.strokePath(border, QPen(PivorelStyle::separator(palette()), 0.5));
}

}  // namespace pivorel
