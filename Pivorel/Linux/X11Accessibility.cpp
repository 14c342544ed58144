#include "Pivorel/Linux/X11Accessibility.h"

#include <atspi/atspi-constants.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <thread>
#include <utility>

#include "BrisendoKit/Content/RankingRules.h"
#include "BrisendoKit/Support/Text.h"
#include "Pivorel/Linux/AtSpiNames.h"
#include "Pivorel/Linux/TerminalApps.h"
#include "Pivorel/Linux/X11Connection.h"
#include "Pivorel/Linux/X11Keyboard.h"
#include "Pivorel/Linux/X11Selections.h"
#include "Pivorel/Linux/X11Workspace.h"

namespace pivorel {

namespace {

constexpr auto focusCacheTime = std::chrono::milliseconds(250);
// A read asks about the gesture's start and then about the focused text well within this.
constexpr auto gestureStartTime = std::chrono::seconds(2);
// Deeper than any text object sits below another.
constexpr int maxAncestors = 32;
// How far the pointer may move between press and read for the gesture to be a click.
constexpr double clickSlop = 4;
constexpr std::uint32_t controlKeysym = 0xffe3;  // Control_L
// Reading a selection never takes more than this much memory.
constexpr std::size_t maxSelectionBytes = 16u << 20;
// What a prefetch reads of PRIMARY: more than the bar's read asks for at first.
constexpr std::size_t prefetchBytes = 128u << 10;

bool atOrAfter(std::uint32_t t, std::uint32_t reference) {
    return static_cast<std::int32_t>(t - reference) >= 0;
}

bool isPage(std::uint32_t role) {
    return role == ATSPI_ROLE_DOCUMENT_WEB || role == ATSPI_ROLE_DOCUMENT_FRAME;
}

bool isBrowser(const std::string& app) {
    const auto& groups = RankingRules::linuxAppGroups();
    if (groups.empty()) return false;
    const auto& browsers = groups.front();
    return std::find(browsers.begin(), browsers.end(), app) != browsers.end();
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) text::appendUtf8(out, c);
    return out;
}

}  // namespace

X11Accessibility::X11Accessibility(X11Connection& x, X11Selections& selections,
                                   X11Workspace& workspace, X11Keyboard& keyboard,
                                   AtSpiClient& atspi, Environment environment)
    : x_(x),
      selections_(selections),
      workspace_(workspace),
      keyboard_(keyboard),
      atspi_(atspi),
      environment_(std::move(environment)) {}

bool X11Accessibility::isTrusted() {
    return !environment_.trusted || environment_.trusted();
}

std::optional<std::string> X11Accessibility::primaryText(std::size_t limit) {
    const xcb_atom_t primary = selections_.atom("PRIMARY");
    const auto changes = selections_.changes(primary);
    // Set before we watched, or only by our own keystrokes: not the user's selection.
    if (!changes.lastOutsideQuiet) return std::nullopt;
    if (environment_.primaryBaseline) {
        if (changes.count <= environment_.primaryBaseline()) return std::nullopt;
    } else if (const auto press = environment_.lastPressTime ? environment_.lastPressTime()
                                                             : std::optional<std::uint32_t>{};
               press && !atOrAfter(*changes.lastOutsideQuiet, *press)) {
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + readLimit;
    const auto left = [&] {
        return std::max(std::chrono::milliseconds(1),
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()));
    };
    const auto enough = [limit](std::string_view bytes) {
        // A character takes at least one byte: few bytes cannot be too many characters.
        return bytes.size() > limit && text::graphemeCount(text::trim(bytes)) > limit;
    };
    // Enough bytes for `limit` characters of most scripts, so a long selection is known to
    // be too long without reading all of it.
    const std::size_t firstCap =
        limit >= maxSelectionBytes / 4 ? maxSelectionBytes : (limit + 1) * 4 + 64;
    std::optional<X11Selections::Data> ahead;
    {
        std::lock_guard lock(prefetchMutex_);
        if (prefetched_ && prefetched_->count == changes.count &&
            (!prefetched_->truncated || prefetched_->bytes.size() >= firstCap)) {
            ahead = X11Selections::Data{};
            ahead->bytes = prefetched_->bytes;
            ahead->truncated = prefetched_->truncated;
        }
    }
    for (const std::string_view target :
         {std::string_view("UTF8_STRING"), std::string_view("STRING")}) {
        const xcb_atom_t atom = selections_.atom(target);
        auto data = ahead && target == "UTF8_STRING"
                        ? ahead
                        : selections_.convert(primary, atom, left(), firstCap, enough);
        if (data && data->truncated && !enough(data->bytes) && firstCap < maxSelectionBytes) {
            // Characters of many bytes each: read on until there are enough of them.
            data = selections_.convert(primary, atom, left(), maxSelectionBytes, enough);
        }
        if (!data || data->format != 8) continue;
        auto text = target == "STRING" ? latin1ToUtf8(data->bytes) : text::repairUtf8(data->bytes);
        // Chromium claims the selection again, unchanged, for a click on the page's empty
        // area: what was read before is no selection of this gesture.
        std::optional<GestureStart> start;
        {
            std::lock_guard lock(mutex_);
            start = gestureStart_;
        }
        const bool click = clickedOnPage(start);
        std::lock_guard lock(mutex_);
        if (click && text == lastPrimary_) return std::nullopt;
        lastPrimary_ = text;
        return text;
    }
    return std::nullopt;
}

void X11Accessibility::prefetchPrimary() {
    const xcb_atom_t primary = selections_.atom("PRIMARY");
    std::lock_guard lock(prefetchMutex_);
    prefetched_.reset();
    // A change during the read makes it stale: it is kept under the count from before.
    const std::int64_t count = selections_.changes(primary).count;
    auto data =
        selections_.convert(primary, selections_.atom("UTF8_STRING"), readLimit, prefetchBytes);
    if (data && data->format == 8) {
        prefetched_ = Prefetched{count, std::move(data->bytes), data->truncated};
    }
}

std::optional<std::uint32_t> X11Accessibility::pidOf(const std::optional<std::string>& app) {
    if (environment_.focusedPid) return environment_.focusedPid(app);
    const auto window = app ? workspace_.windowOf(*app) : workspace_.activeWindow();
    return window ? window->pid : std::nullopt;
}

std::optional<X11Accessibility::Focus> X11Accessibility::focusOf(
    const std::optional<std::string>& app) {
    const auto pid = pidOf(app);
    if (!pid) return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    std::optional<std::pair<std::uint32_t, AtSpiClient::Ref>> pressed;
    {
        std::lock_guard lock(mutex_);
        if (focus_ && focus_->pid == *pid && now - focus_->at < focusCacheTime) {
            return focus_->element ? focus_ : std::nullopt;
        }
        pressed = pressed_;
    }
    const auto deadline = now + readLimit;
    Focus focus;
    focus.pid = *pid;
    focus.at = now;
    focus.app = atspi_.application(*pid, deadline);
    if (focus.app) {
        // The element the gesture began on is the focused one more often than not, and
        // asking it is far cheaper than searching.
        if (pressed && pressed->first == focus.pid) {
            const auto st = atspi_.states(pressed->second, deadline);
            if (st && AtSpiNames::hasState(*st, ATSPI_STATE_FOCUSED)) {
                focus.element = pressed->second;
            }
        }
        if (!focus.element) focus.element = atspi_.focused(*focus.app, deadline);
        if (focus.element) {
            const auto role = atspi_.role(*focus.element, deadline);
            const auto states = atspi_.states(*focus.element, deadline);
            if (role && states) {
                focus.role = *role;
                focus.states = *states;
            } else {
                focus.element.reset();
            }
        }
    }
    std::lock_guard lock(mutex_);
    focus_ = focus;
    return focus.element ? std::optional<Focus>(focus) : std::nullopt;
}

bool X11Accessibility::clickedOnPage(const std::optional<GestureStart>& start) {
    if (!start || !start->onPage ||
        std::chrono::steady_clock::now() - start->at >= gestureStartTime) {
        return false;
    }
    // A drag from the empty area selects what it crosses; a click selects nothing.
    const Point now = workspace_.pointerLocation();
    return std::hypot(now.x - start->point.x, now.y - start->point.y) <= clickSlop;
}

std::optional<std::string> X11Accessibility::roleAt(Point point) {
    if (!environment_.pointQueries) return std::nullopt;
    const Point p = environment_.coordinates().toDevice(point);
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        gestureStart_.reset();
    }
    const auto window = workspace_.windowAt(p);
    if (!window || !window->pid) return std::nullopt;
    const auto remember = [&](bool onBus, std::optional<AtSpiClient::Ref> element) {
        std::lock_guard lock(mutex_);
        gestureStart_ = GestureStart{*window->pid, onBus, false, std::move(element), point, now};
    };
    remember(false, std::nullopt);
    const auto deadline = now + readLimit;
    const auto app = atspi_.application(*window->pid, deadline);
    if (!app) return std::nullopt;
    const auto element =
        atspi_.elementAt(*app, static_cast<int>(p.x), static_cast<int>(p.y), deadline);
    remember(true, element);
    if (!element) return std::nullopt;
    const auto role = atspi_.role(*element, deadline);
    const auto states = atspi_.states(*element, deadline);
    if (!role) return std::nullopt;
    {
        std::lock_guard lock(mutex_);
        pressed_ = std::make_pair(*window->pid, *element);
        if (gestureStart_) gestureStart_->onPage = isPage(*role);
    }
    // A pane or notebook that could not be looked into may well hold the text pressed.
    if (AtSpiNames::isContainer(*role)) return std::nullopt;
    return AtSpiNames::role(*role, states.value_or(0));
}

bool X11Accessibility::gestureBeganIn(const Focus& focus, AtSpiClient::Deadline deadline) {
    std::optional<GestureStart> start;
    {
        std::lock_guard lock(mutex_);
        start = std::exchange(gestureStart_, std::nullopt);
    }
    // No gesture being read (the hot key's read), or nothing known of where it began.
    if (!start || std::chrono::steady_clock::now() - start->at > gestureStartTime) return true;
    if (start->pid != focus.pid) return false;
    if (!start->onBus) return true;
    // On the window but on none of its elements: its background.
    if (!start->element) return false;
    // On the page itself rather than on anything in it: its empty area, where a browser
    // keeps the page's earlier selection.
    if (*start->element == *focus.element && clickedOnPage(start)) return false;
    std::optional<AtSpiClient::Ref> ref = start->element;
    for (int depth = 0; ref && depth < maxAncestors; ++depth) {
        if (*ref == *focus.element) return true;
        auto up = atspi_.parent(*ref, deadline);
        if (up && *up == *ref) break;
        ref = std::move(up);
    }
    return false;
}

std::optional<std::string> X11Accessibility::selectedText(Scope scope,
                                                          const std::optional<std::string>& app,
                                                          std::size_t limit) {
    if (scope == Scope::systemWide) return primaryText(limit);
    const auto focus = focusOf(app);
    if (!focus) return std::nullopt;
    // Never hand out what a password field holds, whoever asks.
    if (focus->role == ATSPI_ROLE_PASSWORD_TEXT) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + readLimit;
    // A field keeps its selection when the user presses elsewhere: what it holds then was
    // selected by an earlier gesture, not by the one being read.
    if (!gestureBeganIn(*focus, deadline)) return std::nullopt;
    return atspi_.selectedText(*focus->element, limit, deadline);
}

std::optional<std::string> X11Accessibility::focusedRole(const std::optional<std::string>& app) {
    const auto focus = focusOf(app);
    if (!focus) return std::nullopt;
    return AtSpiNames::role(focus->role, focus->states);
}

std::optional<std::string> X11Accessibility::focusedSubrole(const std::optional<std::string>& app) {
    const auto focus = focusOf(app);
    if (!focus) return std::nullopt;
    return AtSpiNames::subrole(focus->role);
}

bool X11Accessibility::isSelectedTextSettable(const std::optional<std::string>& app) {
    const auto focus = focusOf(app);
    return focus && AtSpiNames::hasState(focus->states, ATSPI_STATE_EDITABLE);
}

bool X11Accessibility::focusHidden(const std::optional<std::string>& app) {
    const auto pid = pidOf(app);
    if (!pid || !drawsWebContent(*pid)) return false;
    const auto focus = focusOf(app);
    // Without the page's tree the focus is the window itself, or nothing at all.
    return !focus || AtSpiNames::isContainer(focus->role) ||
           focus->role == ATSPI_ROLE_APPLICATION || focus->role == ATSPI_ROLE_UNKNOWN;
}

bool X11Accessibility::drawsWebContent(std::uint32_t pid) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = webContent_.find(pid); it != webContent_.end()) return it->second;
    }
    // Chromium, its browsers and Electron programs ship the ICU data beside the executable;
    // Gecko programs their omni.ja; Electron programs keep their own code in resources/.
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    bool web = false;
    if (!error) {
        const auto dir = exe.parent_path();
        for (const char* marker :
             {"icudtl.dat", "omni.ja", "resources/app.asar", "resources/electron.asar"}) {
            if (std::filesystem::exists(dir / marker, error)) web = true;
        }
    }
    std::lock_guard lock(mutex_);
    if (webContent_.size() > 256) webContent_.clear();
    webContent_[pid] = web;
    return web;
}

std::optional<std::string> X11Accessibility::documentURL(const std::optional<std::string>& app) {
    const auto deadline = std::chrono::steady_clock::now() + readLimit;
    const auto focus = focusOf(app);
    if (focus) {
        if (auto address = atspi_.documentAddress(*focus->element, deadline)) return address;
    }
    // A browser whose focus sits outside the page (its address bar, say) still shows one.
    const auto frontmost = app ? app : workspace_.frontmostApp();
    if (!frontmost || !isBrowser(*frontmost)) return std::nullopt;
    std::optional<AtSpiClient::Ref> appRef = focus ? focus->app : std::nullopt;
    if (!appRef) {
        const auto pid = pidOf(*frontmost);
        if (!pid) return std::nullopt;
        appRef = atspi_.application(*pid, deadline);
    }
    if (!appRef) return std::nullopt;
    return atspi_.anyDocumentAddress(*appRef, deadline);
}

std::optional<bool> X11Accessibility::pressMenu(const std::string& app, char key) {
    // Without an X11 window (a Wayland one) only the accessibility bus can reach it.
    const auto window = workspace_.windowOf(app);
    if (!window && !environment_.focusedPid) return std::nullopt;
    // Control-C in a terminal interrupts the job running there.
    if (TerminalApps::isTerminal(workspace_.apps(), app) ||
        (window && TerminalApps::isTerminal(workspace_.apps(), window->app, window->instance,
                                            window->klass))) {
        return std::nullopt;
    }
    if (const auto pid = window && window->pid ? window->pid : pidOf(app)) {
        const auto deadline = std::chrono::steady_clock::now() + menuLimit;
        if (const auto appRef = atspi_.application(*pid, deadline)) {
            if (auto pressed = atspi_.pressMenuItem(*appRef, key, deadline)) return pressed;
        }
    }
    if (!window) return std::nullopt;
    // A keystroke goes to whoever has the focus: only when that is the application, and,
    // where the compositor has the last word on focus, the window it focused.
    const auto active = workspace_.activeWindow();
    if (!active || active->app != app) return std::nullopt;
    if (environment_.focusedPid && (!active->pid || active->pid != pidOf(std::nullopt))) {
        return std::nullopt;
    }
    if (TerminalApps::isTerminal(workspace_.apps(), active->app, active->instance, active->klass)) {
        return std::nullopt;
    }
    return sendControlKey(key);
}

bool X11Accessibility::sendControlKey(char key) {
    xcb_connection_t* c = x_.raw();
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c, &xcb_test_id);
    if (!xtest || !xtest->present) return false;
    const auto control = keyboard_.keycode(controlKeysym);
    const auto letter = keyboard_.keycode(
        static_cast<std::uint32_t>(std::tolower(static_cast<unsigned char>(key))));
    if (!control || !letter) return false;

    // While the hot key is held our own grab would take the keystroke: wait until every
    // key is up.
    const auto deadline = std::chrono::steady_clock::now() + keysUpLimit;
    for (;;) {
        XReply<xcb_query_keymap_reply_t> keymap(
            xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
        x_.afterReply();
        if (!keymap) return false;
        const bool anyDown = std::any_of(std::begin(keymap->keys), std::end(keymap->keys),
                                         [](std::uint8_t byte) { return byte != 0; });
        if (!anyDown) break;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    if (environment_.expectSyntheticKeys) environment_.expectSyntheticKeys({*control, *letter});
    selections_.beginQuiet();
    const std::array<std::pair<std::uint8_t, xcb_keycode_t>, 4> strokes{{
        {XCB_KEY_PRESS, *control},
        {XCB_KEY_PRESS, *letter},
        {XCB_KEY_RELEASE, *letter},
        {XCB_KEY_RELEASE, *control},
    }};
    for (const auto& [type, code] : strokes) {
        xcb_test_fake_input(c, type, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    }
    XReply<xcb_get_input_focus_reply_t> done(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    x_.afterReply();
    selections_.endQuiet();
    return true;
}

}  // namespace pivorel
