#pragma once

#include <optional>
#include <string>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// Where the guide window goes: beside the settings program's window when there is one,
// else in the bottom-right corner of the screen. Global coordinates, y up.
struct GuidePlacement {
    GuidePlacement() = delete;

    static constexpr double gap = 16;
    static constexpr double screenMargin = 8;
    // A settings window that moved less than this, and still leaves the guide clear, is
    // not followed: the guide should not jitter while the user drags the window around.
    static constexpr double followDistance = 40;

    // The guide's origin (bottom-left corner) for a guide of `guide` size.
    static Point place(Size guide, const std::optional<Rect>& settings, const Rect& visibleFrame);

    // Whether the guide should be placed again now that the settings window's frame is
    // `current` (it was `remembered` when the guide was last placed). `guide` is the
    // guide's own frame.
    static bool shouldFollow(const std::optional<Rect>& remembered, const Rect& current,
                             const Rect& guide);

    // "{x, y, w, h}" with whole points, for log lines.
    static std::string describe(const Rect& frame);
};

}  // namespace pivorel
