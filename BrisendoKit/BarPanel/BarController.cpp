#include "BrisendoKit/BarPanel/BarController.h"

#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "BrisendoKit/Platform/BarWindow.h"
#include "BrisendoKit/Platform/Workspace.h"

namespace pivorel {

BarController::BarController(BarWindow& window, Workspace& workspace)
    : window_(window), workspace_(workspace) {}

void BarController::show(std::shared_ptr<BarModel> model, Point down, Point up) {
    // Every show starts from an empty, hidden window, so nothing of the last bar survives.
    window_.hide();
    model_.reset();
    if (!model) return;
    // With no screen at all there is nowhere to put the bar; it simply stays away.
    const auto screen = screenContaining(workspace_, up);
    if (!screen) return;

    model_ = std::move(model);
    const Size size = window_.setContent(model_);
    const Point origin = clampsToScreen ? BarPlacement::origin(size, down, up, screen->visibleFrame)
                                        : Point{up.x - size.width / 2, up.y};
    window_.setFrame({origin.x, origin.y, size.width, size.height});
    window_.orderFront();
}

void BarController::hide() {
    window_.hide();
    model_.reset();
}

bool BarController::isVisible() const {
    return window_.isVisible();
}

Rect BarController::frame() const {
    return window_.frame();
}

std::int64_t BarController::windowNumber() const {
    return window_.windowNumber();
}

Point BarController::contentOrigin() const {
    const Rect f = frame();
    return {f.minX() + BarPlacement::shadowInset, f.minY() + BarPlacement::shadowInset};
}

double BarController::distance(Point p) const {
    return BarPlacement::distance(p, frame().insetBy(BarPlacement::shadowInset));
}

}  // namespace pivorel
