#pragma once

#include <cstdint>
#include <optional>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// A platform-neutral snapshot of one input event, in the program's own event-type and
// key-code space (the input layer translates X11 events into it), and what it means to the
// detector.
struct GestureEvent {
    static constexpr std::uint32_t leftMouseDownType = 1;
    static constexpr std::uint32_t leftMouseUpType = 2;
    static constexpr std::uint32_t rightMouseDownType = 3;
    static constexpr std::uint32_t leftMouseDraggedType = 6;
    static constexpr std::uint32_t keyDownType = 10;
    static constexpr std::uint32_t scrollWheelType = 22;
    static constexpr std::uint32_t otherMouseDownType = 25;
    static constexpr std::uint64_t shiftFlag = 0x20000;

    std::uint32_t type = 0;
    std::int64_t clickCount = 0;
    bool shift = false;
    std::uint16_t keyCode = 0;
    Point location;
    // Seconds the event had already waited when it was delivered: an input layer that
    // learns of a release by polling reports it late, and the read delay counts from the
    // release itself.
    double age = 0;

    GestureEvent() = default;
    // Takes the raw values of an event; a click count only means something for mouse
    // buttons and a key code only for key presses, so the others are dropped.
    GestureEvent(std::uint32_t eventType, std::int64_t rawClickCount, std::uint64_t modifierFlags,
                 std::uint16_t rawKeyCode, Point at);

    bool isLeftMouseDown() const { return type == leftMouseDownType; }
    bool isLeftMouseUp() const { return type == leftMouseUpType; }

    bool operator==(const GestureEvent&) const = default;
};

}  // namespace pivorel
