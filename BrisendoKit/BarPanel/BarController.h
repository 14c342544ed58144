#pragma once

#include <cstdint>
#include <memory>

#include "BrisendoKit/BarPanel/BarModel.h"
#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

class BarWindow;
class Workspace;

// Owns the one bar window: shows it for a model beside a selection, hides it, and answers
// where it is. Main thread.
class BarController {
  public:
    BarController(BarWindow& window, Workspace& workspace);

    // Shows the bar for `model`, replacing whatever it showed; `down` and `up` are where
    // the selecting gesture pressed and released (global coordinates).
    void show(std::shared_ptr<BarModel> model, Point down, Point up);
    void hide();

    bool isVisible() const;
    // The window: the capsule plus the shadow margin on every side.
    Rect frame() const;
    std::int64_t windowNumber() const;
    static constexpr int windowLevel = 101;
    // The bottom-left corner of the visible capsule.
    Point contentOrigin() const;
    // How far `p` is from the visible capsule.
    double distance(Point p) const;

    const std::shared_ptr<BarModel>& model() const { return model_; }

    // Without it the bar is centred on the release point, its bottom on it.
    bool clampsToScreen = true;

  private:
    BarWindow& window_;
    Workspace& workspace_;
    std::shared_ptr<BarModel> model_;
};

}  // namespace pivorel
