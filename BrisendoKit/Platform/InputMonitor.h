#pragma once

#include <functional>
#include <optional>
#include <string>

#include "BrisendoKit/Platform/GestureEvent.h"
#include "BrisendoKit/Support/Geometry.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// Global input as the selection watcher and the panel see it. Like a global monitor it only
// reports what happens in other programs' windows: presses on the bar or the panel never
// arrive. Handlers run on the main thread; a monitor stays installed while its Connection
// lives. Installing one must cost nothing while no event arrives.
class InputMonitor {
  public:
    using GestureHandler = std::function<void(const GestureEvent&)>;
    using MoveHandler = std::function<void(Point location)>;
    using PressHandler = std::function<void()>;
    using ActivationHandler = std::function<void(const std::optional<std::string>& bundleID)>;

    virtual ~InputMonitor() = default;

    // Left presses, releases and drags, right and other presses, key presses and scrolls,
    // each with the pointer's global location (origin at the bottom left) at that moment.
    [[nodiscard]] virtual Connection monitorGestures(GestureHandler handler) = 0;

    // Pointer motion with no button down, with the pointer's location. Installed only for
    // short spells: while a bar is on screen, until the pointer leaves where a panel opened
    // or enters a panel a link opened.
    [[nodiscard]] virtual Connection monitorMouseMoves(MoveHandler handler) = 0;

    // Left and right presses: the panel's clicks outside itself.
    [[nodiscard]] virtual Connection monitorMouseDowns(PressHandler handler) = 0;

    // Another application became the frontmost one: its bundle identifier, when known.
    [[nodiscard]] virtual Connection observeActivations(ActivationHandler handler) = 0;
};

}  // namespace pivorel
