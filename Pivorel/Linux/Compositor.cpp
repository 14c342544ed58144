#include "Pivorel/Linux/Compositor.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QWidget>
#include <cstdlib>
#include <string>

namespace pivorel {

bool Compositor::isRunning() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) return true;
    xcb_connection_t* connection = x11->connection();
    if (!connection) return true;
    const int screens = xcb_setup_roots_length(xcb_get_setup(connection));
    for (int n = 0; n < screens; ++n) {
        const std::string name = "_NET_WM_CM_S" + std::to_string(n);
        auto atomCookie =
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str());
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection, atomCookie, nullptr);
        if (!atom) continue;
        const xcb_atom_t selection = atom->atom;
        free(atom);
        // An atom nobody interned yet cannot name an owned selection.
        if (selection == XCB_ATOM_NONE) continue;
        auto ownerCookie = xcb_get_selection_owner(connection, selection);
        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(connection, ownerCookie, nullptr);
        const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
        free(owner);
        if (owned) return true;
    }
    return false;
}

bool Compositor::clipWhenNeeded(QWidget& window, const QRectF& rect, double radius) {
    if (isRunning() || rect.isEmpty()) {
        window.clearMask();
        return false;
    }
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    window.setMask(QRegion(path.toFillPolygon().toPolygon()));
    return true;
}

}  // namespace pivorel
