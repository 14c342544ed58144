#pragma once

#include <cstdint>
#include <memory>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

class BarModel;

// The one window the bar is drawn in: frameless, above other windows, never taking focus
// and never activating the program, and acting on the first click. Frames are in global
// coordinates (origin at the bottom left); the window converts them once. Main thread.
class BarWindow {
  public:
    virtual ~BarWindow() = default;

    // Takes the window off the screen and drops its content.
    virtual void hide() = 0;
    // Makes fresh content that draws `model` and calls its callbacks, lays it out once and
    // answers its fitting size: the drawn strip plus the shadow margin on every side. The
    // window stays where it is (off screen after hide()).
    virtual Size setContent(std::shared_ptr<BarModel> model) = 0;
    virtual void setFrame(Rect frame) = 0;
    virtual Rect frame() const = 0;
    // Puts the window on screen above the others without activating the program.
    virtual void orderFront() = 0;
    virtual bool isVisible() const = 0;
    // The window system's number of the window (0 while it has none).
    virtual std::int64_t windowNumber() const = 0;
};

}  // namespace pivorel
