#pragma once

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// Sizes of the bar, in points.
struct BarMetrics {
    static constexpr double height = 28;
    static constexpr double itemWidth = 24;
};

// Where the bar goes. Pure geometry in global coordinates (origin at the bottom left).
struct BarPlacement {
    BarPlacement() = delete;

    static constexpr double gap = 12;
    // Transparent margin on every side of the bar window, for the drawn shadow.
    static constexpr double shadowInset = 14;

    // The window origin for a window of `size` (content plus margins): centred on the
    // release point, 22 points above the higher gesture point, or below the lower one when
    // it would cross the top of `visibleFrame`, and kept 4 points inside it.
    static Point origin(Size size, Point down, Point up, Rect visibleFrame);

    // From `p` to the rectangle: 0 on or inside it.
    static double distance(Point p, Rect r);
};

}  // namespace pivorel
