#pragma once

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// Sizes of the panel, in points.
struct PanelMetrics {
    // Transparent margin on every side of the panel window, for the drawn shadow.
    static constexpr double shadowInset = 18;
    static constexpr double listWidth = 340;
    static constexpr Size askSize{460, 400};
    static constexpr double cornerRadius = 14;
};

// Where the panel goes. Pure geometry in global coordinates (origin at the bottom left).
struct PanelPlacement {
    PanelPlacement() = delete;

    // The window origin for a window of `size`: the content's top-left corner 6 points right
    // of and below `mouse`, with `clamp` kept 4 points inside `visibleFrame`.
    static Point origin(Size size, Point mouse, Rect visibleFrame, bool clamp);

    // Moves `frame` so its content stays 4 points inside `visibleFrame` (the same rules).
    static Rect clamped(Rect frame, Rect visibleFrame);
};

}  // namespace pivorel
