#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Platform/Accessibility.h"
#include "Pivorel/Linux/AtSpiClient.h"
#include "Pivorel/Linux/ScreenCoordinates.h"

namespace pivorel {

class X11Connection;
class X11Keyboard;
class X11Selections;
class X11Workspace;

// What the selection reader asks of the desktop, on X11: the selected text is the PRIMARY
// selection, taken only when it was set at or after the gesture's press (an owner keeps
// serving a selection the user has long clicked away from); roles, password fields, the
// editable state, the focused text (after a gesture, only when it began inside the focused
// element) and document addresses come from AT-SPI where the program under the pointer
// exposes them. Menu presses go through AT-SPI, else as a
// synthetic keystroke, never into a terminal. Any thread.
class X11Accessibility final : public Accessibility {
  public:
    static constexpr auto readLimit = std::chrono::milliseconds(300);
    static constexpr auto menuLimit = std::chrono::milliseconds(500);
    // How long a synthetic keystroke waits for the user to let go of every key.
    static constexpr auto keysUpLimit = std::chrono::seconds(1);

    struct Environment {
        // Server time of the last left press that began a gesture.
        std::function<std::optional<std::uint32_t>()> lastPressTime;
        // Safe to call from any thread.
        std::function<ScreenCoordinates()> coordinates;
        // Tells the input monitor that these keys are ours.
        std::function<void(const std::vector<xcb_keycode_t>&)> expectSyntheticKeys;
        // Whether the desktop's accessibility is on; always, when not given.
        std::function<bool()> trusted;
        // Where a compositor bridges PRIMARY into X11, the owner and its times say nothing
        // about the gesture: given, a selection is fresh when PRIMARY changed more often
        // than this many times (X11Selections::Changes::count), instead of after the press.
        std::function<std::int64_t()> primaryBaseline;
        // The process of `app`'s focused window (of the frontmost application when none is
        // named), where X11 does not know the windows; not given: X11 is asked.
        std::function<std::optional<std::uint32_t>(const std::optional<std::string>& app)>
            focusedPid;
        // Whether X11 windows are what is shown at a screen point; when not, roleAt answers
        // nothing.
        bool pointQueries = true;
    };

    X11Accessibility(X11Connection& x, X11Selections& selections, X11Workspace& workspace,
                     X11Keyboard& keyboard, AtSpiClient& atspi, Environment environment);

    bool isTrusted() override;
    std::optional<std::string> roleAt(Point point) override;
    std::optional<std::string> selectedText(Scope scope, const std::optional<std::string>& app,
                                            std::size_t limit) override;
    std::optional<std::string> focusedRole(const std::optional<std::string>& app) override;
    std::optional<std::string> focusedSubrole(const std::optional<std::string>& app) override;
    bool isSelectedTextSettable(const std::optional<std::string>& app) override;
    bool focusHidden(const std::optional<std::string>& app) override;
    std::optional<std::string> documentURL(const std::optional<std::string>& app) override;
    std::optional<bool> pressMenu(const std::string& app, char key) override;

    // The PRIMARY selection under the rules above.
    std::optional<std::string> primaryText(std::size_t limit);
    // Reads PRIMARY ahead of primaryText, which takes what was read while no change has come
    // since: the read crosses the compositor, which may be busy drawing the drag.
    void prefetchPrimary();

  private:
    struct Focus {
        std::uint32_t pid = 0;
        std::optional<AtSpiClient::Ref> app;
        std::optional<AtSpiClient::Ref> element;
        std::uint32_t role = 0;
        std::uint64_t states = 0;
        std::chrono::steady_clock::time_point at;
    };

    std::optional<Focus> focusOf(const std::optional<std::string>& app);
    std::optional<std::uint32_t> pidOf(const std::optional<std::string>& app);
    bool gestureBeganIn(const Focus& focus, AtSpiClient::Deadline deadline);
    bool sendControlKey(char key);
    bool drawsWebContent(std::uint32_t pid);

    X11Connection& x_;
    X11Selections& selections_;
    X11Workspace& workspace_;
    X11Keyboard& keyboard_;
    AtSpiClient& atspi_;
    Environment environment_;
    std::mutex mutex_;
    // One read asks several questions about the same focus within milliseconds.
    std::optional<Focus> focus_;
    std::map<std::uint32_t, bool> webContent_;
    // The element the last gesture began on, which is usually the focused one.
    std::optional<std::pair<std::uint32_t, AtSpiClient::Ref>> pressed_;
    // Where the gesture being read began, for that read's question about the focused
    // element's text only: taken by it, and forgotten soon after.
    struct GestureStart {
        std::uint32_t pid = 0;
        // The program answered on the accessibility bus; `element` is what it has there.
        bool onBus = false;
        // `element` is a web page itself: the press was on its empty area.
        bool onPage = false;
        std::optional<AtSpiClient::Ref> element;
        Point point;
        std::chrono::steady_clock::time_point at;
    };
    std::optional<GestureStart> gestureStart_;
    // Whether the gesture is a click (no drag) on a web page's own empty area.
    bool clickedOnPage(const std::optional<GestureStart>& start);
    std::string lastPrimary_;
    // Held through a prefetch, so a read waits for it rather than asking again.
    std::mutex prefetchMutex_;
    struct Prefetched {
        std::int64_t count = 0;
        std::string bytes;
        bool truncated = false;
    };
    std::optional<Prefetched> prefetched_;
};

}  // namespace pivorel
