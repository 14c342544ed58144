#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "BrisendoKit/BarPanel/PanelModel.h"
#include "Pivorel/Look/ClickableView.h"

namespace pivorel {

// One row of the panel's list: number badge, icon, title, the "最可能" tag on the first row
// when the ranking is smart, and the muted hint on the right. 32 high; the whole row is the
// click target.
class PanelRowView final : public ClickableView {
    Q_OBJECT
  public:
    PanelRowView(std::int64_t index, PanelRow row, bool highlighted, bool showTopTag,
                 std::function<void()> onClick, QWidget* parent = nullptr);

    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return highlighted_; }
    bool showsTopTag() const { return showTopTag_ && index_ == 0; }
    const PanelRow& row() const { return row_; }

    // Where the parts go in a row `width` wide, in the row's coordinates; the title's
    // font size is what fits, down to 0.78 of the nominal size.
    struct Layout {
        QRectF badge;
        QRectF icon;
        QRectF title;
        double titleSize = 0;
        QRectF tag;  // empty without the tag
        QRectF hint;
    };
    Layout layout() const;

    static constexpr double height = 32;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::int64_t index_;
    PanelRow row_;
    bool highlighted_;
    bool showTopTag_;
};

}  // namespace pivorel
