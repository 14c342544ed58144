#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "BrisendoKit/BarPanel/BarModel.h"
#include "BrisendoKit/Support/Signal.h"
#include "Pivorel/Look/DropShadow.h"

namespace pivorel {

class BarItemView;

// The bar's strip: the items in a row with the first highlighted, a divider and "…", on a
// 28-high capsule with a drawn shadow and 14 transparent pixels on every side for it.
class BarView final : public QWidget {
    Q_OBJECT
  public:
    explicit BarView(std::shared_ptr<BarModel> model, QWidget* parent = nullptr);

    // The capsule plus the shadow margin on every side.
    QSize sizeHint() const override;
    // The visible capsule, in this view's coordinates.
    QRectF capsuleRect() const;

    const std::shared_ptr<BarModel>& model() const { return model_; }
    // Forgets the model: clicks do nothing any more and the model may go.
    void detach();

    const std::vector<BarItemView*>& itemViews() const { return items_; }
    BarItemView* moreView() const { return more_; }

    static constexpr double padding = 3;
    static constexpr double spacing = 1;
    static constexpr double dividerHeight = 12;

    // The window is clipped to the shape (no compositor): no shadow, and the pixels along
    // the edge painted opaque, as blended ones would show black.
    void setClippedToShape(bool clipped);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void rebuild();
    void choose(std::int64_t index);
    void chooseMore();
    double contentWidth() const;

    std::shared_ptr<BarModel> model_;
    Connection changed_;
    std::vector<BarItemView*> items_;
    BarItemView* more_ = nullptr;
    DropShadow shadow_;
    bool clipped_ = false;
};

}  // namespace pivorel
