#pragma once

namespace pivorel {

// Global screen coordinates: origin at the bottom left of the primary screen, y grows upwards.
// The flip to X11's top-left origin happens only at the window and input boundary.
struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

}  // namespace pivorel
