#include "Pivorel/Look/WindowFrame.h"

#include <cmath>

#include "Pivorel/Linux/ScreenCoordinates.h"

namespace pivorel {

QRect WindowFrame::toDesktop(Rect frame) {
    const Rect r = ScreenCoordinates::current().toQt(frame);
    return {static_cast<int>(std::lround(r.x)), static_cast<int>(std::lround(r.y)),
            static_cast<int>(std::lround(r.width)), static_cast<int>(std::lround(r.height))};
}

Rect WindowFrame::fromDesktop(QRect geometry) {
    return ScreenCoordinates::current().fromQt(
        Rect{static_cast<double>(geometry.x()), static_cast<double>(geometry.y()),
             static_cast<double>(geometry.width()), static_cast<double>(geometry.height())});
}

Rect WindowFrame::current(QRect geometry, Rect lastSet) {
    return geometry == toDesktop(lastSet) ? lastSet : fromDesktop(geometry);
}

}  // namespace pivorel
