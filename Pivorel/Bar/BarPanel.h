#pragma once

#include <QWidget>
#include <memory>

#include "BrisendoKit/Platform/BarWindow.h"

namespace pivorel {

class BarView;

// The bar's window: frameless, kept above other windows, outside the window manager's
// focus handling, so it never takes the keyboard or activates the program and acts on
// the first click. Frames are global coordinates, converted to the desktop's at the edge.
class BarPanel final : public QWidget, public BarWindow {
    Q_OBJECT
  public:
    explicit BarPanel(QWidget* parent = nullptr);
    ~BarPanel() override;

    void hide() override;
    Size setContent(std::shared_ptr<BarModel> model) override;
    void setFrame(Rect frame) override;
    Rect frame() const override;
    void orderFront() override;
    bool isVisible() const override;
    std::int64_t windowNumber() const override;

    // The content made by the last setContent(), if it still shows.
    BarView* view() const { return view_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void dropView();
    void warmUp();

    BarView* view_ = nullptr;
    Rect frame_;
};

}  // namespace pivorel
