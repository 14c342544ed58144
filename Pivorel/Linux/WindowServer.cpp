#include "Pivorel/Linux/WindowServer.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace pivorel {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* connection() {
    if (!qGuiApp) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_atom_t atom(xcb_connection_t* c, std::string_view name) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(name.size()), name.data()), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool hasStateAbove(xcb_connection_t* c, xcb_window_t w) {
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t above = atom(c, "_NET_WM_STATE_ABOVE");
    if (state == XCB_ATOM_NONE || above == XCB_ATOM_NONE) return false;
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, state, XCB_ATOM_ATOM, 0, 64), nullptr));
    if (!reply || reply->format != 32) return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == above) return true;
    }
    return false;
}

WindowServer::Window describe(xcb_connection_t* c, xcb_window_t w) {
    WindowServer::Window info;
    info.id = w;
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
    if (!attributes) return info;
    info.onScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    info.keptAbove = attributes->override_redirect || hasStateAbove(c, w);
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
    if (geometry) {
        info.width = geometry->width;
        info.height = geometry->height;
        Reply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, w, rootOf(c), 0, 0), nullptr));
        if (place) {
            info.x = place->dst_x;
            info.y = place->dst_y;
        }
    }
    return info;
}

}  // namespace

bool WindowServer::displayReachable() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c) xcb_disconnect(c);
    return ok;
}

std::vector<WindowServer::Window> WindowServer::ownWindows() {
    std::vector<Window> windows;
    xcb_connection_t* c = connection();
    if (!c) return windows;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        // winId() would create a native window for one that has none yet.
        if (!window->handle()) continue;
        windows.push_back(describe(c, static_cast<xcb_window_t>(window->winId())));
    }
    return windows;
}

std::vector<WindowServer::Window> WindowServer::ownWindowsOnScreen() {
    std::vector<Window> shown;
    for (const auto& window : ownWindows()) {
        if (window.onScreen) shown.push_back(window);
    }
    return shown;
}

std::optional<std::uint32_t> WindowServer::activeWindow() {
    xcb_connection_t* c = connection();
    if (!c) return std::nullopt;
    const xcb_atom_t active = atom(c, "_NET_ACTIVE_WINDOW");
    if (active == XCB_ATOM_NONE) return std::nullopt;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, rootOf(c), active, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4) {
        return std::nullopt;
    }
    std::uint32_t id = 0;
    std::memcpy(&id, xcb_get_property_value(reply.get()), sizeof id);
    if (id == XCB_WINDOW_NONE) return std::nullopt;
    return id;
}

bool WindowServer::isActive() {
    const auto active = activeWindow();
    if (!active) return false;
    for (const auto& window : ownWindows()) {
        if (window.id == *active) return true;
    }
    return false;
}

void WindowServer::sync() {
    xcb_connection_t* c = connection();
    if (!c) return;
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    QCoreApplication::processEvents();
}

}  // namespace pivorel
