#include "BrisendoKit/BarPanel/PanelPlacement.h"

#include <algorithm>

namespace pivorel {

namespace {

// Between the point and the content's top-left corner, across and down.
constexpr double offset = 6;
// The content keeps this far inside the visible frame.
constexpr double edgeMargin = 4;

// One limit after the other, not std::clamp: on a frame too small for the panel the right and
// top limits win (and std::clamp would be undefined).
Point keptInside(Point origin, Size size, const Rect& v) {
    const double inset = PanelMetrics::shadowInset;
    double x = std::max(origin.x, v.minX() - inset + edgeMargin);
    x = std::min(x, v.maxX() - size.width + inset - edgeMargin);
    double y = std::max(origin.y, v.minY() - inset + edgeMargin);
    y = std::min(y, v.maxY() - size.height + inset - edgeMargin);
    return {x, y};
}

}  // namespace

Point PanelPlacement::origin(Size size, Point mouse, Rect visibleFrame, bool clamp) {
    const double inset = PanelMetrics::shadowInset;
    const Point placed{mouse.x + offset - inset, mouse.y - offset + inset - size.height};
    return clamp ? keptInside(placed, size, visibleFrame) : placed;
}

Rect PanelPlacement::clamped(Rect frame, Rect visibleFrame) {
    const Point o = keptInside(frame.origin(), frame.size(), visibleFrame);
    return {o.x, o.y, frame.width, frame.height};
}

}  // namespace pivorel
