#include "BrisendoKit/Platform/GestureEvent.h"

#include <algorithm>

namespace pivorel {

namespace {

bool carriesClickCount(std::uint32_t type) {
    switch (type) {
        case GestureEvent::leftMouseDownType:
        case GestureEvent::leftMouseUpType:
        case GestureEvent::rightMouseDownType:
        case GestureEvent::leftMouseDraggedType:
        case GestureEvent::otherMouseDownType:
            return true;
        default:
            return false;
    }
}

}  // namespace

GestureEvent::GestureEvent(std::uint32_t eventType, std::int64_t rawClickCount,
                           std::uint64_t modifierFlags, std::uint16_t rawKeyCode, Point at)
    : type(eventType),
      clickCount(carriesClickCount(eventType) ? rawClickCount : 0),
      shift((modifierFlags & shiftFlag) != 0),
      keyCode(eventType == keyDownType ? rawKeyCode : 0),
      location(at) {}

}  // namespace pivorel
