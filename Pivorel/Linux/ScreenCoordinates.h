#pragma once

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// The one conversion between the program's global coordinates (origin at the bottom left of
// the primary screen, y up) and X11's and Qt's (origin at the top left, y down). Every
// window frame and every pointer position crosses here exactly once.
struct ScreenCoordinates {
    // Height of the primary screen in the same units.
    double primaryHeight = 0;

    Point toX11(Point p) const { return {p.x, primaryHeight - p.y}; }
    Point fromX11(Point p) const { return {p.x, primaryHeight - p.y}; }
    // A rectangle's top-left corner in X11 terms, from its bottom-left one and back.
    Rect toX11(Rect r) const { return {r.x, primaryHeight - (r.y + r.height), r.width, r.height}; }
    Rect fromX11(Rect r) const {
        return {r.x, primaryHeight - (r.y + r.height), r.width, r.height};
    }

    // From the primary screen Qt reports now; height 0 without a screen.
    static ScreenCoordinates current();
};

}  // namespace pivorel
