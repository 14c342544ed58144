#include "Pivorel/Panel/PanelListView.h"

#include <QPainter>
#include <cmath>

#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "BrisendoKit/Localization/L.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/PanelRowView.h"

namespace pivorel {

namespace {

constexpr double kSide = 14;
constexpr double kHeaderTop = 12;
constexpr double kHeaderBottom = 10;
constexpr double kHeaderLineSpacing = 4;
constexpr double kFooterVertical = 7;
constexpr double kDivider = 1;

}  // namespace

PanelListView::PanelListView(std::shared_ptr<PanelModel> model, QWidget* parent)
    : QWidget(parent), model_(model) {
    const double textWidth = PanelMetrics::listWidth - 2 * kSide;
    if (model->sourceApp() && !model->sourceApp()->empty()) {
        app_ = WrappedText(QString::fromStdString(*model->sourceApp()), PivorelStyle::font(10.5),
                           textWidth, 1);
    }
    selection_ = WrappedText(QString::fromStdString(model->selection()), PivorelStyle::font(12.5),
                             textWidth, 2);
    footer_ = WrappedText(QString::fromStdString(L("1–9 直选 · Enter 选中高亮项 · Esc 关闭")),
                          PivorelStyle::font(10.5), textWidth, 1);
    changed_ = model->changed.connect([this] { highlightChanged(); });
    rebuild();
}

double PanelListView::headerHeight() const {
    double h = kHeaderTop + selection_.height() + kHeaderBottom;
    if (app_.lineCount() > 0) h += app_.height() + kHeaderLineSpacing;
    return h;
}

double PanelListView::footerHeight() const {
    return kFooterVertical + footer_.height() + kFooterVertical;
}

QSize PanelListView::sizeHint() const {
    const double n = static_cast<double>(rows_.size());
    const double rows =
        2 * rowsMargin + n * PanelRowView::height + (n > 0 ? (n - 1) * rowSpacing : 0);
    const double h = headerHeight() + kDivider + rows + kDivider + footerHeight();
    return {static_cast<int>(PanelMetrics::listWidth), static_cast<int>(std::ceil(h))};
}

void PanelListView::rebuild() {
    for (auto* row : rows_) {
        row->hide();
        row->deleteLater();
    }
    rows_.clear();
    const auto model = model_.lock();
    if (!model) return;
    const auto& rows = model->rows();
    double y = headerHeight() + kDivider + rowsMargin;
    const int width = static_cast<int>(PanelMetrics::listWidth - 2 * rowsMargin);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto index = static_cast<std::int64_t>(i);
        auto* view = new PanelRowView(
            index, rows[i], index == model->highlighted(), model->smartRanking(),
            [weak = model_, index] {
                if (auto m = weak.lock()) m->choose(index);
            },
            this);
        view->setGeometry(static_cast<int>(rowsMargin), static_cast<int>(y), width,
                          static_cast<int>(PanelRowView::height));
        view->show();
        rows_.push_back(view);
        y += PanelRowView::height + rowSpacing;
    }
    setFixedSize(sizeHint());
    update();
}

void PanelListView::highlightChanged() {
    const auto model = model_.lock();
    if (!model) return;
    if (rows_.size() != model->rows().size()) {
        rebuild();
        return;
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i]->setHighlighted(static_cast<std::int64_t>(i) == model->highlighted());
    }
}

void PanelListView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    double y = kHeaderTop;
    if (app_.lineCount() > 0) {
        app_.draw(p, QPointF(kSide, y), PivorelStyle::tertiary(pal));
        y += app_.height() + kHeaderLineSpacing;
    }
    selection_.draw(p, QPointF(kSide, y), PivorelStyle::secondary(pal));

    QColor divider = PivorelStyle::separator(pal);
    divider.setAlphaF(divider.alphaF() * 0.6f);
    const double top = headerHeight();
    p.fillRect(QRectF(0, top, width(), kDivider), divider);
    const double bottom = height() - footerHeight() - kDivider;
    p.fillRect(QRectF(0, bottom, width(), kDivider), divider);
    footer_.draw(p, QPointF(kSide, bottom + kDivider + kFooterVertical),
                 PivorelStyle::tertiary(pal));
}

}  // namespace pivorel
