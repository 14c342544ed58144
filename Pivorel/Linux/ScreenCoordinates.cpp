#include "Pivorel/Linux/ScreenCoordinates.h"

#include <QGuiApplication>
#include <QScreen>

namespace pivorel {

ScreenCoordinates ScreenCoordinates::current() {
    const auto* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    // The whole virtual desktop's coordinates start at the primary screen's top-left
    // corner on X11, so only its height matters for the flip.
    return {static_cast<double>(screen->geometry().y() + screen->geometry().height())};
}

}  // namespace pivorel
