#include "Pivorel/Linux/X11Selections.h"

#include <poll.h>
#include <xcb/xfixes.h>

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>
#include <vector>

#include "Pivorel/Linux/X11Connection.h"

namespace pivorel {

namespace {

// Distinct properties for consecutive requests: a late answer to an earlier request lands
// in a property nobody waits on.
constexpr std::uint32_t propertyRing = 8;
constexpr std::uint32_t chunkBytes = 1u << 18;
constexpr auto serverTimeLimit = std::chrono::milliseconds(300);
// Owners answer our synthetic keystrokes a little after they were sent.
constexpr std::uint32_t quietGraceMs = 500;

// Server times wrap: compare by the signed distance.
bool atOrAfter(std::uint32_t t, std::uint32_t reference) {
    return static_cast<std::int32_t>(t - reference) >= 0;
}

}  // namespace

struct X11Selections::Wait {
    enum class Kind { notify, newValue, time };
    Kind kind = Kind::notify;
    xcb_atom_t selection = XCB_ATOM_NONE;
    xcb_atom_t target = XCB_ATOM_NONE;
    xcb_atom_t property = XCB_ATOM_NONE;
    bool done = false;
    xcb_atom_t answeredProperty = XCB_ATOM_NONE;
    std::uint32_t time = 0;
};

// Holds the connection; on the way out, handles what was queued meanwhile and lets the
// event loop read again.
class X11Selections::Session {
  public:
    explicit Session(X11Selections& owner) : owner_(owner) { owner_.mutex_.lock(); }
    ~Session() {
        owner_.pumpQueued(nullptr);
        xcb_flush(owner_.connection_);
        owner_.mutex_.unlock();
        owner_.releaseAndReenable();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

  private:
    X11Selections& owner_;
};

Result<std::unique_ptr<X11Selections>, std::string> X11Selections::open(
    X11Connection& atoms, const std::string& display) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return fail(std::string("cannot connect to the X display"));
    }
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
    XReply<xcb_xfixes_query_version_reply_t> version;
    if (ext && ext->present) {
        version.reset(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    }
    if (!version || version->major_version < 1) {
        xcb_disconnect(c);
        return fail(std::string("the X server lacks XFixes"));
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    const xcb_screen_t* screen = it.data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
    const char* name = "Pivorel selections";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(std::strlen(name)), name);
    auto selections =
        std::unique_ptr<X11Selections>(new X11Selections(atoms, c, window, ext->first_event));
    selections->watch(selections->atom("PRIMARY"));
    selections->watch(selections->atom("CLIPBOARD"));
    xcb_flush(c);
    return selections;
}

X11Selections::X11Selections(X11Connection& atoms, xcb_connection_t* connection,
                             xcb_window_t window, std::uint8_t xfixesEvent)
    : atoms_(atoms), connection_(connection), window_(window), xfixesEvent_(xfixesEvent) {}

X11Selections::~X11Selections() {
    notifier_.reset();
    context_.reset();
    xcb_destroy_window(connection_, window_);
    xcb_disconnect(connection_);
}

xcb_atom_t X11Selections::atom(std::string_view name) {
    return atoms_.atom(name);
}

std::string X11Selections::atomName(xcb_atom_t atom) {
    return atoms_.atomName(atom);
}

void X11Selections::watch(xcb_atom_t selection) {
    xcb_xfixes_select_selection_input(connection_, window_, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    selections_[selection];
}

void X11Selections::startReading() {
    if (notifier_) return;
    context_ = std::make_unique<QObject>();
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_),
                                                  QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { onReadable(); });
    onReadable();
}

void X11Selections::onReadable() {
    if (!mutex_.try_lock()) {
        // A reader holds the connection and reads the events itself; without this pause
        // the loop would spin until it lets go.
        notifier_->setEnabled(false);
        reenable_ = true;
        if (!mutex_.try_lock()) return;
        reenable_ = false;
        notifier_->setEnabled(true);
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        XReply<xcb_generic_event_t> owned(event);
        handle(*event, nullptr);
    }
    xcb_flush(connection_);
    if (xcb_connection_has_error(connection_)) notifier_->setEnabled(false);
    mutex_.unlock();
}

void X11Selections::releaseAndReenable() {
    if (!reenable_.exchange(false) || !context_) return;
    QMetaObject::invokeMethod(
        context_.get(),
        [this] {
            notifier_->setEnabled(true);
            onReadable();
        },
        Qt::QueuedConnection);
}

void X11Selections::pumpQueued(Wait* wait) {
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) {
        XReply<xcb_generic_event_t> owned(event);
        handle(*event, wait);
    }
}

void X11Selections::handle(const xcb_generic_event_t& event, Wait* wait) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (type == xfixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
        lastEventTime_ = e.timestamp;
        auto& state = selections_[e.selection];
        ++state.changes.count;
        const bool ours = quietFrom_ && atOrAfter(e.timestamp, *quietFrom_) &&
                          (quiet_ || (quietUntil_ && atOrAfter(*quietUntil_, e.timestamp)));
        if (!ours) state.changes.lastOutsideQuiet = e.timestamp;
        return;
    }
    switch (type) {
        case XCB_SELECTION_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
            if (wait && wait->kind == Wait::Kind::notify && e.requestor == window_ &&
                e.selection == wait->selection && e.target == wait->target &&
                (e.property == wait->property || e.property == XCB_ATOM_NONE)) {
                wait->done = true;
                wait->answeredProperty = e.property;
            }
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            lastEventTime_ = e.time;
            if (wait && e.window == window_ && e.atom == wait->property &&
                e.state == XCB_PROPERTY_NEW_VALUE) {
                if (wait->kind == Wait::Kind::newValue || wait->kind == Wait::Kind::time) {
                    wait->done = true;
                    wait->time = e.time;
                }
            }
            break;
        }
        case XCB_SELECTION_REQUEST:
            serve(reinterpret_cast<const xcb_selection_request_event_t&>(event));
            break;
        case XCB_SELECTION_CLEAR: {
            const auto& e = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
            auto& state = selections_[e.selection];
            if (e.owner == window_) state.offers.reset();
            break;
        }
        default:
            break;
    }
}

bool X11Selections::waitFor(Wait& wait, std::chrono::steady_clock::time_point deadline) {
    xcb_flush(connection_);
    const int fd = xcb_get_file_descriptor(connection_);
    while (!wait.done) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            XReply<xcb_generic_event_t> owned(event);
            handle(*event, &wait);
            if (wait.done) return true;
        }
        if (xcb_connection_has_error(connection_)) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
    }
    return true;
}

void X11Selections::sync() {
    // Every event the server made before answering this is in the queue once it has.
    XReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    pumpQueued(nullptr);
}

std::optional<std::uint32_t> X11Selections::serverTimeLocked() {
    // Appending nothing to a property of our own window still makes the server report the
    // time in a PropertyNotify.
    Wait wait;
    wait.kind = Wait::Kind::time;
    wait.property = atom("PIVOREL_TIME");
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, wait.property, XCB_ATOM_STRING,
                        8, 0, nullptr);
    if (!waitFor(wait, std::chrono::steady_clock::now() + serverTimeLimit)) return std::nullopt;
    return wait.time;
}

xcb_window_t X11Selections::owner(xcb_atom_t selection) {
    Session session(*this);
    XReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, selection), nullptr));
    return reply ? reply->owner : xcb_window_t{XCB_WINDOW_NONE};
}

X11Selections::Changes X11Selections::changes(xcb_atom_t selection) {
    Session session(*this);
    sync();
    return selections_[selection].changes;
}

void X11Selections::beginQuiet() {
    Session session(*this);
    quietFrom_ = serverTimeLocked().value_or(lastEventTime_);
    quietUntil_.reset();
    quiet_ = true;
}

void X11Selections::endQuiet() {
    Session session(*this);
    const std::uint32_t now = serverTimeLocked().value_or(lastEventTime_);
    quietUntil_ = now + quietGraceMs;
    quiet_ = false;
}

std::optional<X11Selections::Data> X11Selections::convert(xcb_atom_t selection, xcb_atom_t target,
                                                          std::chrono::milliseconds limit,
                                                          std::size_t maxBytes,
                                                          const Enough& enough) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const xcb_atom_t property =
        atom("PIVOREL_SELECTION_" + std::to_string(nextProperty_++ % propertyRing));
    Session session(*this);
    XReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, selection), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE) return std::nullopt;
    if (owner->owner == window_) {
        // Asking ourselves through the server would work too, but this is what we offer.
        auto answer = offered(selections_[selection], target);
        if (!answer) return std::nullopt;
        Data data = std::move(*answer);
        if (data.bytes.size() > maxBytes) {
            data.bytes.resize(maxBytes);
            data.truncated = true;
        }
        return data;
    }
    xcb_delete_property(connection_, window_, property);
    xcb_convert_selection(connection_, window_, selection, target, property, XCB_CURRENT_TIME);
    Wait wait;
    wait.kind = Wait::Kind::notify;
    wait.selection = selection;
    wait.target = target;
    wait.property = property;
    if (!waitFor(wait, deadline) || wait.answeredProperty == XCB_ATOM_NONE) return std::nullopt;
    return readProperty(property, maxBytes, enough, deadline, wait);
}

std::optional<X11Selections::Data> X11Selections::readProperty(
    xcb_atom_t property, std::size_t maxBytes, const Enough& enough,
    std::chrono::steady_clock::time_point deadline, Wait& wait) {
    XReply<xcb_get_property_reply_t> header(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window_, property, XCB_ATOM_ANY, 0, 0),
        nullptr));
    if (!header || header->type == XCB_ATOM_NONE) return std::nullopt;
    Data out;
    const auto full = [&] { return out.bytes.size() >= maxBytes || (enough && enough(out.bytes)); };

    if (header->type == atom("INCR")) {
        // Deleting the property asks for the first chunk; each chunk comes as a new value
        // of the property and an empty one ends the transfer.
        xcb_delete_property(connection_, window_, property);
        for (;;) {
            wait.kind = Wait::Kind::newValue;
            wait.done = false;
            if (!waitFor(wait, deadline)) return std::nullopt;
            XReply<xcb_get_property_reply_t> chunk(xcb_get_property_reply(
                connection_,
                xcb_get_property(
                    connection_, 1, window_, property, XCB_ATOM_ANY, 0,
                    static_cast<std::uint32_t>(std::min<std::size_t>(maxBytes, 1u << 28) / 4 + 1)),
                nullptr));
            if (!chunk) return std::nullopt;
            const int length = xcb_get_property_value_length(chunk.get());
            if (length <= 0) break;
            out.type = chunk->type;
            out.format = chunk->format;
            out.bytes.append(static_cast<const char*>(xcb_get_property_value(chunk.get())),
                             static_cast<std::size_t>(length));
            if (full()) {
                out.truncated = true;
                // Left as it is, the owner gives up on its own.
                break;
            }
        }
        return out;
    }

    out.type = header->type;
    out.format = header->format;
    std::uint32_t offset = 0;  // in 32-bit units, as the request counts
    for (;;) {
        const std::size_t room = maxBytes > out.bytes.size() ? maxBytes - out.bytes.size() : 0;
        const auto words =
            static_cast<std::uint32_t>((std::min<std::size_t>(room, chunkBytes) + 3) / 4);
        XReply<xcb_get_property_reply_t> part(xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, window_, property, XCB_ATOM_ANY, offset, words),
            nullptr));
        if (!part) break;
        const int length = xcb_get_property_value_length(part.get());
        if (length > 0) {
            out.bytes.append(static_cast<const char*>(xcb_get_property_value(part.get())),
                             static_cast<std::size_t>(length));
        }
        offset += words;
        if (part->bytes_after == 0) break;
        if (full() || words == 0) {
            out.truncated = true;
            break;
        }
    }
    xcb_delete_property(connection_, window_, property);
    return out;
}

bool X11Selections::own(xcb_atom_t selection, std::map<xcb_atom_t, Data> offers) {
    Session session(*this);
    const std::uint32_t time = serverTimeLocked().value_or(lastEventTime_);
    xcb_set_selection_owner(connection_, window_, selection, time);
    XReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, selection), nullptr));
    if (!owner || owner->owner != window_) return false;
    auto& state = selections_[selection];
    state.offers = std::move(offers);
    state.ownedSince = time;
    return true;
}

std::optional<std::map<xcb_atom_t, X11Selections::Data>> X11Selections::owned(
    xcb_atom_t selection) {
    Session session(*this);
    sync();
    return selections_[selection].offers;
}

void X11Selections::clear(xcb_atom_t selection) {
    Session session(*this);
    xcb_set_selection_owner(connection_, XCB_WINDOW_NONE, selection, XCB_CURRENT_TIME);
    selections_[selection].offers.reset();
    sync();
}

std::optional<X11Selections::Data> X11Selections::offered(const SelectionState& state,
                                                          xcb_atom_t target) {
    if (!state.offers) return std::nullopt;
    const xcb_atom_t targets = atom("TARGETS");
    const xcb_atom_t timestamp = atom("TIMESTAMP");
    const auto words = [](const std::vector<std::uint32_t>& values, xcb_atom_t type) {
        Data data;
        data.type = type;
        data.format = 32;
        data.bytes.assign(reinterpret_cast<const char*>(values.data()), values.size() * 4);
        return data;
    };
    if (target == targets) {
        std::vector<std::uint32_t> list{targets, timestamp};
        for (const auto& [offer, data] : *state.offers) list.push_back(offer);
        return words(list, XCB_ATOM_ATOM);
    }
    if (target == timestamp) return words({state.ownedSince}, XCB_ATOM_INTEGER);
    auto it = state.offers->find(target);
    if (it == state.offers->end()) return std::nullopt;
    return it->second;
}

void X11Selections::serve(const xcb_selection_request_event_t& request) {
    // Obsolete clients name no property: the target is the property then.
    xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
    // A request too large for one ChangeProperty would end our connection.
    const std::size_t maxBytes =
        static_cast<std::size_t>(xcb_get_maximum_request_length(connection_)) * 4 - 64;
    bool answered = false;
    if (request.owner == window_) {
        const auto data = offered(selections_[request.selection], request.target);
        if (data && data->bytes.size() <= maxBytes) {
            const std::uint8_t format =
                data->format == 16 || data->format == 32 ? data->format : std::uint8_t{8};
            xcb_change_property(
                connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, data->type, format,
                static_cast<std::uint32_t>(data->bytes.size() / (format / 8)), data->bytes.data());
            answered = true;
        }
    }
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = answered ? property : xcb_atom_t{XCB_ATOM_NONE};
    xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
    xcb_flush(connection_);
}

}  // namespace pivorel
