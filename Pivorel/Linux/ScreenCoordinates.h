#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "BrisendoKit/Support/Geometry.h"

class QObject;
class QScreen;

namespace pivorel {

// The one conversion between the program's global coordinates (points, origin at the bottom
// left of the primary screen, y up) and the desktop's (origin at the top left, y down).
// The desktop has two units: Qt's screens and windows are in logical pixels, the X server's
// pointer, windows and accessibility positions in device pixels. Qt keeps each screen's
// top-left corner where the X server has it and divides only its size by the screen's
// scale, so the two meet at every screen's corner and a device position converts with the
// factor of the screen it is on. Every window frame and pointer position crosses here once.
// A value: any thread may use one.
class ScreenCoordinates {
  public:
    struct Screen {
        // Qt's geometry of the screen: logical pixels, top-left origin.
        Rect logical;
        // Device pixels per logical pixel.
        double scale = 1;

        Rect device() const {
            return {logical.x, logical.y, logical.width * scale, logical.height * scale};
        }
    };

    // No screens: logical and device pixels are one, and nothing is flipped.
    ScreenCoordinates() = default;
    // The primary screen first.
    explicit ScreenCoordinates(std::vector<Screen> screens);

    // Between the program's points and Qt's logical pixels.
    Point toQt(Point p) const { return {p.x, primaryBottom_ - p.y}; }
    Point fromQt(Point p) const { return {p.x, primaryBottom_ - p.y}; }
    // A rectangle's top-left corner, from its bottom-left one and back.
    Rect toQt(Rect r) const { return {r.x, primaryBottom_ - (r.y + r.height), r.width, r.height}; }
    Rect fromQt(Rect r) const {
        return {r.x, primaryBottom_ - (r.y + r.height), r.width, r.height};
    }

    // Between the program's points and the X server's device pixels, through the screen the
    // position is on (the nearest one when it is on none).
    Point toDevice(Point p) const;
    Point fromDevice(Point p) const;

    // From the screens Qt has now. Qt's thread only.
    static ScreenCoordinates current();

  private:
    const Screen* screenAt(Point p, bool device) const;

    std::vector<Screen> screens_;
    double primaryBottom_ = 0;
};

// The screens as last seen on Qt's thread, for any thread: refreshed there whenever a screen
// comes, goes, moves or changes its scale.
class ScreenWatch {
  public:
    // Qt's thread.
    ScreenWatch();
    ~ScreenWatch();
    ScreenWatch(const ScreenWatch&) = delete;
    ScreenWatch& operator=(const ScreenWatch&) = delete;

    // Any thread.
    ScreenCoordinates coordinates() const;

  private:
    void refresh();
    void watch(QScreen* screen);

    mutable std::mutex mutex_;
    ScreenCoordinates coordinates_;
    std::unique_ptr<QObject> context_;
};

}  // namespace pivorel
