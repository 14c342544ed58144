#include "Pivorel/Linux/X11Workspace.h"

#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cctype>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/Text.h"
#include "Pivorel/Linux/AppNames.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/DesktopAppIndex.h"
#include "Pivorel/Linux/ScreenCoordinates.h"
#include "Pivorel/Linux/X11Connection.h"

namespace pivorel {

namespace {

constexpr std::size_t maxCachedWindows = 512;
constexpr auto handlerCacheTime = std::chrono::seconds(30);
constexpr double handlerQueryLimitSeconds = 1.0;

// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ), lower-cased.
std::optional<std::string> schemeOf(const std::string& url) {
    const auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 64) return std::nullopt;
    std::string scheme;
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        const bool ok =
            std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!ok) return std::nullopt;
        scheme.push_back(static_cast<char>(std::tolower(c)));
    }
    return scheme;
}

bool hasXdgOpen() {
    return !ChildProcess::findInPath("xdg-open").empty();
}

}  // namespace

X11Workspace::X11Workspace(X11Connection& x, DesktopAppIndex& apps, const ScreenWatch& screens)
    : x_(x), apps_(apps), screens_(screens) {}

std::optional<xcb_window_t> X11Workspace::clientIn(xcb_window_t topLevel) {
    // The client is the window that carries WM_STATE; without a window manager the
    // top-level is the client.
    return x_.firstWithProperty(x_.windowAndDescendants(topLevel, 2), x_.atom("WM_STATE"));
}

X11Workspace::WindowInfo X11Workspace::info(xcb_window_t window) {
    WindowInfo out;
    out.window = window;
    out.pid = x_.cardinal(window, "_NET_WM_PID");
    const auto wmClass = x_.windowClass(window);
    if (wmClass) {
        out.instance = wmClass->first;
        out.klass = wmClass->second;
    }
    out.app = appOf(window, out.pid, wmClass);
    return out;
}

std::optional<std::string> X11Workspace::appOf(xcb_window_t window) {
    if (window == XCB_WINDOW_NONE) return std::nullopt;
    return appOf(window, x_.cardinal(window, "_NET_WM_PID"), x_.windowClass(window));
}

std::optional<std::string> X11Workspace::appOf(
    xcb_window_t window, const std::optional<std::uint32_t>& pid,
    const std::optional<std::pair<std::string, std::string>>& wmClass) {
    if (window == XCB_WINDOW_NONE) return std::nullopt;
    // Window ids are reused once their windows are gone, often by the next program started:
    // a remembered answer holds only while the window still names the same process and class.
    {
        std::lock_guard lock(mutex_);
        if (auto it = appCache_.find(window);
            it != appCache_.end() && it->second.pid == pid && it->second.wmClass == wmClass) {
            return it->second.app;
        }
    }
    std::optional<std::string> app;
    if (pid == static_cast<std::uint32_t>(::getpid())) {
        app = std::string(AppIdentity::bundleID);
    } else {
        DesktopAppIndex::WindowHints hints;
        hints.gtkApplicationID = x_.text(window, "_GTK_APPLICATION_ID");
        hints.kdeDesktopFile = x_.text(window, "_KDE_NET_WM_DESKTOP_FILE");
        if (wmClass) {
            hints.instance = wmClass->first;
            hints.klass = wmClass->second;
        }
        app = apps_.resolve(hints);
    }
    // A window with no name at all (gone already, or not yet named) is asked again.
    if (!app) return app;
    std::lock_guard lock(mutex_);
    if (appCache_.size() >= maxCachedWindows) appCache_.clear();
    appCache_[window] = CachedApp{pid, wmClass, app};
    return app;
}

std::optional<X11Workspace::WindowInfo> X11Workspace::activeWindow() {
    const auto active = x_.cardinal(x_.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
    if (active && *active != XCB_WINDOW_NONE) return info(*active);
    // Without an EWMH window manager: the client holding the input focus.
    xcb_connection_t* c = x_.raw();
    XReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    x_.afterReply();
    if (!focus || focus->focus == XCB_WINDOW_NONE || focus->focus == x_.root() ||
        focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) {
        return std::nullopt;
    }
    xcb_window_t w = focus->focus;
    const xcb_atom_t wmState = x_.atom("WM_STATE");
    for (int level = 0; level < 6 && w != XCB_WINDOW_NONE && w != x_.root(); ++level) {
        if (x_.property(w, wmState, XCB_ATOM_ANY, 8)) return info(w);
        XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
        x_.afterReply();
        if (!tree) break;
        w = tree->parent;
    }
    return std::nullopt;
}

std::optional<X11Workspace::WindowInfo> X11Workspace::windowAt(Point p) {
    xcb_connection_t* c = x_.raw();
    XReply<xcb_translate_coordinates_reply_t> reply(xcb_translate_coordinates_reply(
        c,
        xcb_translate_coordinates(c, x_.root(), x_.root(), static_cast<std::int16_t>(p.x),
                                  static_cast<std::int16_t>(p.y)),
        nullptr));
    x_.afterReply();
    if (!reply || reply->child == XCB_WINDOW_NONE) return std::nullopt;
    auto client = clientIn(reply->child);
    return info(client.value_or(reply->child));
}

std::optional<X11Workspace::WindowInfo> X11Workspace::windowOf(const std::string& bundleID) {
    if (auto active = activeWindow(); active && active->app == bundleID) return active;
    for (xcb_window_t w : clientList()) {
        if (appOf(w) == bundleID) return info(w);
    }
    return std::nullopt;
}

std::vector<xcb_window_t> X11Workspace::clientList() {
    auto list = x_.cardinals(x_.root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW);
    return {list.begin(), list.end()};
}

std::optional<std::string> X11Workspace::frontmostApp() {
    auto active = activeWindow();
    if (!active) return std::nullopt;
    return active->app;
}

std::vector<RunningApp> X11Workspace::runningApps() {
    const xcb_atom_t normal = x_.atom("_NET_WM_WINDOW_TYPE_NORMAL");
    const xcb_atom_t skipTaskbar = x_.atom("_NET_WM_STATE_SKIP_TASKBAR");
    std::vector<RunningApp> out;
    for (xcb_window_t w : clientList()) {
        auto app = appOf(w);
        if (!app) continue;
        const auto types = x_.cardinals(w, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM);
        const auto states = x_.cardinals(w, "_NET_WM_STATE", XCB_ATOM_ATOM);
        const bool normalType =
            types.empty() || std::find(types.begin(), types.end(), normal) != types.end();
        const bool skips = std::find(states.begin(), states.end(), skipTaskbar) != states.end();
        const bool regular = normalType && !skips && *app != AppIdentity::bundleID;
        auto same = std::find_if(out.begin(), out.end(),
                                 [&](const RunningApp& r) { return r.bundleID == *app; });
        if (same != out.end()) {
            same->regular = same->regular || regular;
            continue;
        }
        out.push_back({*app, displayName(*app).value_or(*app), regular});
    }
    return out;
}

bool X11Workspace::canOpen(const std::string& url) {
    const auto scheme = schemeOf(url);
    if (!scheme || !hasXdgOpen()) return false;
    if (*scheme == "http" || *scheme == "https") return true;
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (auto it = openable_.find(*scheme);
            it != openable_.end() && now - it->second.second < handlerCacheTime) {
            return it->second.first;
        }
    }
    const auto query = ChildProcess::run(
        {"xdg-mime", "query", "default", "x-scheme-handler/" + *scheme}, handlerQueryLimitSeconds);
    const bool found = query.exitStatus == 0 && !text::trim(query.output).empty();
    std::lock_guard lock(mutex_);
    openable_[*scheme] = {found, now};
    return found;
}

void X11Workspace::open(const std::string& url) {
    if (!ChildProcess::spawnDetached({"xdg-open", url})) {
        Log::write("Pivorel: 无法打开链接 (xdg-open 不可用)");
    }
}

Point X11Workspace::pointerLocation() {
    xcb_connection_t* c = x_.raw();
    XReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, x_.root()), nullptr));
    x_.afterReply();
    if (!reply) return {};
    return screens_.coordinates().fromDevice(
        Point{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)});
}

std::vector<Screen> X11Workspace::screens() {
    // Qt's thread, like Qt's list of screens: both as Qt has them now.
    const auto coordinates = ScreenCoordinates::current();
    std::vector<Screen> out;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const QRect a = screen->availableGeometry();
        out.push_back({coordinates.fromQt(
                           Rect{static_cast<double>(g.x()), static_cast<double>(g.y()),
                                static_cast<double>(g.width()), static_cast<double>(g.height())}),
                       coordinates.fromQt(
                           Rect{static_cast<double>(a.x()), static_cast<double>(a.y()),
                                static_cast<double>(a.width()), static_cast<double>(a.height())})});
    }
    return out;
}

std::optional<std::size_t> X11Workspace::mainScreen() {
    const auto list = screens();
    if (list.empty()) return std::nullopt;
    // The screen of the focused window's centre, else the one under the pointer.
    std::optional<Point> where;
    if (auto active = activeWindow()) {
        xcb_connection_t* c = x_.raw();
        XReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, active->window), nullptr));
        XReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, active->window, x_.root(), 0, 0), nullptr));
        x_.afterReply();
        if (geometry && origin) {
            where = screens_.coordinates().fromDevice(Point{
                origin->dst_x + geometry->width / 2.0, origin->dst_y + geometry->height / 2.0});
        }
    }
    for (const auto& point : {where, std::optional<Point>(pointerLocation())}) {
        if (!point) continue;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].frame.contains(*point)) return i;
        }
    }
    return 0;
}

std::optional<std::string> X11Workspace::displayName(const std::string& bundleID) {
    return AppNames::display(bundleID);
}

}  // namespace pivorel
