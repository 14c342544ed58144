#include "Selection/GestureEvent.h"

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

std::optional<SelectionDetector::Event> GestureEvent::detector() const {
    using Event = SelectionDetector::Event;
    const std::int64_t clicks = std::max<std::int64_t>(clickCount, 1);
    switch (type) {
        case leftMouseDownType:
            return Event::MouseDown{clicks, location};
        case leftMouseUpType:
            return Event::MouseUp{clicks, location, shift};
        case rightMouseDownType:
        case otherMouseDownType:
            return Event::MouseDown{1, location};
        case leftMouseDraggedType:
            return Event::MouseDragged{location};
        case keyDownType:
            return Event::KeyDown{keyCode};
        case scrollWheelType:
            return Event::Scroll{};
        default:
            return std::nullopt;
    }
}

}  // namespace pivorel
