#include "BrisendoKit/BarPanel/BarPlacement.h"

#include <algorithm>
#include <cmath>

namespace pivorel {

namespace {
// The content keeps this far inside the visible frame.
constexpr double edgeMargin = 4;
// Between the gesture and the content, beside the gap.
constexpr double lift = 10;
}  // namespace

Point BarPlacement::origin(Size size, Point down, Point up, Rect visibleFrame) {
    const double inset = shadowInset;
    const double w = size.width - 2 * inset;
    const double h = size.height - 2 * inset;
    const Rect& v = visibleFrame;

    double x = up.x - w / 2 - inset;
    double y = std::max(down.y, up.y) + lift + gap - inset;
    if (v.maxY() < y + inset + h) y = std::min(down.y, up.y) - lift - gap - h - inset;

    // Applied one after the other rather than std::clamp: on a frame too small for the bar
    // the right and top limits win, and std::clamp would be undefined there.
    x = std::max(x, v.minX() - inset + edgeMargin);
    x = std::min(x, v.maxX() - size.width + inset - edgeMargin);
    y = std::max(y, v.minY() - inset + edgeMargin);
    y = std::min(y, v.maxY() - size.height + inset - edgeMargin);
    return {x, y};
}

double BarPlacement::distance(Point p, Rect r) {
    double dx = 0;
    if (p.x < r.minX()) {
        dx = r.minX() - p.x;
    } else if (p.x > r.maxX()) {
        dx = p.x - r.maxX();
    }
    double dy = 0;
    if (p.y < r.minY()) {
        dy = r.minY() - p.y;
    } else if (p.y > r.maxY()) {
        dy = p.y - r.maxY();
    }
    return std::hypot(dx, dy);
}

}  // namespace pivorel
