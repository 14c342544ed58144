#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Support/Signal.h"
#include "Pivorel/Look/WrappedText.h"

namespace pivorel {

class PanelRowView;

// The panel's list, 340 wide: a header with the source application and the selection, the
// ranked rows with the keyboard highlight, and a footer with the keys.
class PanelListView final : public QWidget {
    Q_OBJECT
  public:
    explicit PanelListView(std::shared_ptr<PanelModel> model, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    const std::vector<PanelRowView*>& rowViews() const { return rows_; }
    // The header's selection as drawn (at most two lines).
    const WrappedText& selectionText() const { return selection_; }

    static constexpr double rowsMargin = 6;
    static constexpr double rowSpacing = 2;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void rebuild();
    void highlightChanged();
    double headerHeight() const;
    double footerHeight() const;

    // Weak: a view put off for deletion must not keep a closed panel's model alive.
    std::weak_ptr<PanelModel> model_;
    Connection changed_;
    std::vector<PanelRowView*> rows_;
    WrappedText app_;
    WrappedText selection_;
    WrappedText footer_;
};

}  // namespace pivorel
