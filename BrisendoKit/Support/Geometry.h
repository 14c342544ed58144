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

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    // The minimum edges belong to the rectangle, the maximum ones to its neighbours, so a
    // point on the line between two screens is on exactly one of them.
    bool contains(Point p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }
    // The rectangle shrunk by `d` on every side.
    Rect insetBy(double d) const { return {x + d, y + d, width - 2 * d, height - 2 * d}; }

    bool operator==(const Rect&) const = default;
};

}  // namespace pivorel
