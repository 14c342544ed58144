#pragma once

#include <QWidget>
#include <memory>

#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Support/Signal.h"
#include "Pivorel/Look/DropShadow.h"

namespace pivorel {

class PasteboardLike;

// The panel's content: the view of the model's mode (the list, a notice, or the
// conversation) on a rounded rectangle with a drawn shadow and 18 transparent pixels on
// every side for it. A mode change swaps the view; sizeHint() follows it.
class PanelRootView final : public QWidget {
    Q_OBJECT
  public:
    PanelRootView(std::shared_ptr<PanelModel> model, PasteboardLike* pasteboard = nullptr,
                  QWidget* parent = nullptr);

    // Brings the shown view in line with the model's mode (nothing when it already is).
    void syncMode();
    // The view plus the margins on every side.
    QSize sizeHint() const override;
    // The rounded rectangle behind the view, in this widget's coordinates; empty without a
    // view (ask mode before the conversation exists).
    QRectF contentRect() const;

    const std::shared_ptr<PanelModel>& model() const { return model_; }
    QWidget* modeView() const { return view_; }
    // Forgets the model and stops following it.
    void detach();

    // The window is clipped to the shape (no compositor): no shadow, and the pixels along
    // the edge painted opaque, as blended ones would show black.
    void setClippedToShape(bool clipped);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::shared_ptr<PanelModel> model_;
    PasteboardLike* pasteboard_;
    Connection modeChanged_;
    QWidget* view_ = nullptr;
    PanelMode shownMode_;
    const void* shownAsk_ = nullptr;
    bool built_ = false;
    DropShadow shadow_;
    bool clipped_ = false;
};

}  // namespace pivorel
