#include "Pivorel/Linux/X11Connection.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <cstring>

#include "BrisendoKit/Support/Log.h"

namespace pivorel {

Result<std::unique_ptr<X11Connection>, std::string> X11Connection::open(
    const std::string& display) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return fail(std::string("cannot connect to the X display ") +
                    (display.empty() ? "$DISPLAY" : display));
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem || !it.data) {
        xcb_disconnect(c);
        return fail(std::string("the X display has no screen"));
    }
    return std::unique_ptr<X11Connection>(new X11Connection(c, it.data));
}

X11Connection::X11Connection(xcb_connection_t* connection, xcb_screen_t* screen)
    : connection_(connection), screen_(screen), root_(screen->root) {}

X11Connection::~X11Connection() {
    notifier_.reset();
    context_.reset();
    xcb_disconnect(connection_);
}

xcb_atom_t X11Connection::atom(std::string_view name) {
    {
        std::lock_guard lock(atomsMutex_);
        if (auto it = atoms_.find(name); it != atoms_.end()) return it->second;
    }
    XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    afterReply();
    if (!reply) return XCB_ATOM_NONE;
    std::lock_guard lock(atomsMutex_);
    atoms_.emplace(std::string(name), reply->atom);
    return reply->atom;
}

std::string X11Connection::atomName(xcb_atom_t atom) {
    {
        std::lock_guard lock(atomsMutex_);
        if (auto it = names_.find(atom); it != names_.end()) return it->second;
    }
    XReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, atom), nullptr));
    afterReply();
    if (!reply) return {};
    std::string name(xcb_get_atom_name_name(reply.get()),
                     static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
    std::lock_guard lock(atomsMutex_);
    names_.emplace(atom, name);
    return name;
}

Connection X11Connection::subscribe(std::function<void(const xcb_generic_event_t&)> handler) {
    return events_.connect(std::move(handler));
}

void X11Connection::startReading() {
    if (notifier_) return;
    context_ = std::make_unique<QObject>();
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_),
                                                  QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { dispatchPending(); });
    // A reply read on this thread may have queued events without the socket becoming
    // readable again: look once more before the loop sleeps.
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread())) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, context_.get(),
                         [this] { dispatchPending(); });
    }
    dispatchPending();
}

void X11Connection::dispatchPending() {
    if (xcb_connection_has_error(connection_)) {
        if (notifier_ && notifier_->isEnabled()) {
            notifier_->setEnabled(false);
            Log::write("Pivorel: X 连接已断开");
        }
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        XReply<xcb_generic_event_t> owned(event);
        events_.emit(*event);
    }
}

void X11Connection::flush() {
    xcb_flush(connection_);
}

void X11Connection::afterReply() {
    if (!context_ || QThread::currentThread() == context_->thread()) return;
    QMetaObject::invokeMethod(
        context_.get(), [this] { dispatchPending(); }, Qt::QueuedConnection);
}

std::optional<X11Connection::Property> X11Connection::property(xcb_window_t window, xcb_atom_t name,
                                                               xcb_atom_t type,
                                                               std::uint32_t maxBytes) {
    if (window == XCB_WINDOW_NONE || name == XCB_ATOM_NONE) return std::nullopt;
    XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, name, type, 0, (maxBytes + 3) / 4),
        nullptr));
    afterReply();
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    Property p;
    p.type = reply->type;
    p.format = reply->format;
    const int length = xcb_get_property_value_length(reply.get());
    if (length > 0) {
        p.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(length));
    }
    return p;
}

std::optional<std::string> X11Connection::text(xcb_window_t window, std::string_view name) {
    auto p = property(window, atom(name));
    if (!p || p->format != 8) return std::nullopt;
    if (p->type != atom("UTF8_STRING") && p->type != XCB_ATOM_STRING) return std::nullopt;
    // Some clients end their strings with a NUL.
    while (!p->bytes.empty() && p->bytes.back() == '\0') p->bytes.pop_back();
    return p->bytes;
}

std::vector<std::uint32_t> X11Connection::cardinals(xcb_window_t window, std::string_view name,
                                                    xcb_atom_t type) {
    std::vector<std::uint32_t> out;
    auto p = property(window, atom(name), type, 1u << 18);
    if (!p || p->format != 32) return out;
    out.resize(p->bytes.size() / 4);
    if (!out.empty()) std::memcpy(out.data(), p->bytes.data(), out.size() * 4);
    return out;
}

std::optional<std::uint32_t> X11Connection::cardinal(xcb_window_t window, std::string_view name,
                                                     xcb_atom_t type) {
    auto values = cardinals(window, name, type);
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::optional<std::pair<std::string, std::string>> X11Connection::windowClass(xcb_window_t window) {
    auto p = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 1024);
    if (!p || p->format != 8) return std::nullopt;
    const std::string& b = p->bytes;
    const auto nul = b.find('\0');
    if (nul == std::string::npos) return std::make_pair(b, b);
    std::string instance = b.substr(0, nul);
    std::string klass = b.substr(nul + 1);
    if (auto end = klass.find('\0'); end != std::string::npos) klass.resize(end);
    return std::make_pair(std::move(instance), std::move(klass));
}

std::vector<xcb_window_t> X11Connection::windowAndDescendants(xcb_window_t window, int depth) {
    std::vector<xcb_window_t> out{window};
    if (window == XCB_WINDOW_NONE) return out;
    // A level's questions go out together and come back in one round trip: a frame may
    // hold a dozen windows, and this runs at every press.
    std::vector<xcb_window_t> level{window};
    for (int d = 0; d < depth && !level.empty(); ++d) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        cookies.reserve(level.size());
        for (const xcb_window_t w : level) cookies.push_back(xcb_query_tree(connection_, w));
        std::vector<xcb_window_t> next;
        for (const auto cookie : cookies) {
            XReply<xcb_query_tree_reply_t> reply(
                xcb_query_tree_reply(connection_, cookie, nullptr));
            if (!reply) continue;
            const xcb_window_t* children = xcb_query_tree_children(reply.get());
            next.insert(next.end(), children,
                        children + xcb_query_tree_children_length(reply.get()));
        }
        afterReply();
        out.insert(out.end(), next.begin(), next.end());
        level = std::move(next);
    }
    return out;
}

std::optional<xcb_window_t> X11Connection::firstWithProperty(
    const std::vector<xcb_window_t>& windows, xcb_atom_t name) {
    if (name == XCB_ATOM_NONE) return std::nullopt;
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const xcb_window_t w : windows) {
        cookies.push_back(xcb_get_property(connection_, 0, w, name, XCB_ATOM_ANY, 0, 0));
    }
    std::optional<xcb_window_t> found;
    // Every reply is read, so none is left behind on the connection.
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        XReply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(connection_, cookies[i], nullptr));
        if (!found && reply && reply->type != XCB_ATOM_NONE) found = windows[i];
    }
    afterReply();
    return found;
}

}  // namespace pivorel
