#pragma once

#include <QRect>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// A window frame in the program's global coordinates (origin at the bottom left) and
// Qt's logical pixels (origin at the top left), through the one coordinate conversion.
struct WindowFrame {
    WindowFrame() = delete;

    static QRect toDesktop(Rect frame);
    static Rect fromDesktop(QRect geometry);
    // The frame last set, while the window's geometry still is that frame; the geometry
    // otherwise (the window was moved), so fractions of a point set are kept.
    static Rect current(QRect geometry, Rect lastSet);
};

}  // namespace pivorel
