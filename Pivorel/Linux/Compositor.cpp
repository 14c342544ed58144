#include "Pivorel/Linux/Compositor.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QWidget>
#include <cstdlib>
#include <string>
#include <vector>

namespace pivorel {

namespace {

// Who owns each screen's _NET_WM_CM_S<n>, asked without waiting for the answer.
struct OwnerQuestion {
    xcb_connection_t* connection = nullptr;
    std::vector<xcb_atom_t> atoms;
    std::vector<xcb_get_selection_owner_cookie_t> asked;

    void ask() {
        if (atoms.empty()) {
            // Created if missing (a name, not a selection): interned once per connection.
            const int screens = xcb_setup_roots_length(xcb_get_setup(connection));
            std::vector<xcb_intern_atom_cookie_t> cookies;
            for (int n = 0; n < screens; ++n) {
                const std::string name = "_NET_WM_CM_S" + std::to_string(n);
                cookies.push_back(xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()),
                                                  name.c_str()));
            }
            for (const auto cookie : cookies) {
                xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection, cookie, nullptr);
                if (atom) atoms.push_back(atom->atom);
                free(atom);
            }
        }
        asked.clear();
        for (const xcb_atom_t atom : atoms)
            asked.push_back(xcb_get_selection_owner(connection, atom));
        xcb_flush(connection);
    }

    bool answer() {
        bool owned = false;
        for (const auto cookie : asked) {
            xcb_get_selection_owner_reply_t* owner =
                xcb_get_selection_owner_reply(connection, cookie, nullptr);
            owned = owned || (owner && owner->owner != XCB_WINDOW_NONE);
            free(owner);
        }
        asked.clear();
        return owned;
    }
};

}  // namespace

bool Compositor::isRunning() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) return true;
    xcb_connection_t* connection = x11->connection();
    if (!connection) return true;
    // Each call takes the answer to the question the previous call asked, and asks again:
    // waiting on a server busy drawing held a bar up by several milliseconds, and a
    // compositor starts or stops rarely (the one window after such a change keeps the old
    // clip). Main thread only, like every window.
    static OwnerQuestion question;
    if (question.connection != connection) {
        question = OwnerQuestion{connection, {}, {}};
        question.ask();
    }
    const bool running = question.answer();
    question.ask();
    return running;
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
