#pragma once

class QRectF;
class QWidget;

namespace pivorel {

// Whether transparent window pixels really show what lies below. On X11 that needs a
// compositing manager; without one they come out black, so windows with rounded corners
// clip themselves to their shape instead.
struct Compositor {
    Compositor() = delete;

    // True on X11 when some screen's _NET_WM_CM_S<n> selection has an owner, and on every
    // other platform (they compose windows themselves).
    static bool isRunning();

    // Clips `window` to the rounded rectangle `rect` (radius `radius`) when no compositor
    // runs, and answers true; removes the clip otherwise.
    static bool clipWhenNeeded(QWidget& window, const QRectF& rect, double radius);
};

}  // namespace pivorel
