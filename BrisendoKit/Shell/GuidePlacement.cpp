#include "BrisendoKit/Shell/GuidePlacement.h"

#include <algorithm>
#include <cmath>

namespace pivorel {

namespace {

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

}  // namespace

Point GuidePlacement::place(Size guide, const std::optional<Rect>& settings,
                            const Rect& visibleFrame) {
    const Point fallback{visibleFrame.maxX() - gap - guide.width, visibleFrame.minY() + gap};
    if (!settings) return fallback;

    // Top edges level, then kept inside the visible frame; when the guide is taller than
    // the frame the bottom margin wins, so the buttons stay reachable.
    double y = settings->maxY() - guide.height;
    y = std::min(y, visibleFrame.maxY() - screenMargin - guide.height);
    y = std::max(y, visibleFrame.minY() + screenMargin);

    double x = settings->maxX() + gap;
    if (x + guide.width > visibleFrame.maxX()) {
        x = settings->minX() - gap - guide.width;
        if (x < visibleFrame.minX()) return fallback;
    }
    return {x, y};
}

bool GuidePlacement::shouldFollow(const std::optional<Rect>& remembered, const Rect& current,
                                  const Rect& guide) {
    if (!remembered) return true;
    if (*remembered == current) return false;
    const double moved =
        std::max({std::abs(current.x - remembered->x), std::abs(current.y - remembered->y),
                  std::abs(current.width - remembered->width),
                  std::abs(current.height - remembered->height)});
    return moved >= followDistance || overlaps(current, guide);
}

std::string GuidePlacement::describe(const Rect& frame) {
    auto whole = [](double v) { return std::to_string(std::llround(v)); };
    return "{" + whole(frame.x) + ", " + whole(frame.y) + ", " + whole(frame.width) + ", " +
           whole(frame.height) + "}";
}

}  // namespace pivorel
