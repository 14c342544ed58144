#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "BrisendoKit/BarPanel/BarModel.h"
#include "Pivorel/Look/ClickableView.h"

namespace pivorel {

// One icon of the bar: the item's symbol in a 24 × 22 capsule, white on the accent colour
// when highlighted. The "…" icon at the end of the bar is made by more(). A click (press
// and release on the icon) calls `onClick`; the tooltip and accessible name are the label.
// Under the pointer the capsule is tinted with the palette's highlight colour, more while
// pressed (the highlighted icon's accent turns lighter and darker instead).
class BarItemView final : public ClickableView {
    Q_OBJECT
  public:
    BarItemView(const BarItem& item, bool highlighted, std::function<void()> onClick,
                QWidget* parent = nullptr);
    static BarItemView* more(std::function<void()> onClick, QWidget* parent = nullptr);

    bool isHighlighted() const { return highlighted_; }
    const QString& symbol() const { return symbol_; }
    QSize sizeHint() const override { return size_; }

    static constexpr double height = 22;
    static constexpr double moreWidth = 20;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum class Kind { item, more };
    BarItemView(Kind kind, QString symbol, QString label, bool highlighted,
                std::function<void()> onClick, QWidget* parent);

    Kind kind_;
    QString symbol_;
    bool highlighted_;
    bool hovered_ = false;
    QSize size_;
};

}  // namespace pivorel
