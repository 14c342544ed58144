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

  private:
    enum class Kind { item, more };
    BarItemView(Kind kind, QString symbol, QString label, bool highlighted,
                std::function<void()> onClick, QWidget* parent);

    Kind kind_;
    QString symbol_;
    bool highlighted_;
    QSize size_;
};

}  // namespace pivorel
