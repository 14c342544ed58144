#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "BrisendoKit/Platform/GestureEvent.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// Decides, from a stream of input events, when the user has just selected text, when that
// text must be read, and when the bar shows or hides. It does no input, output or timing
// itself: every call returns at most one command, which the selection watcher carries out.
// It also remembers the last selection gesture, so a hot-key press that follows a gesture
// without a bar can be reported as a miss.
class SelectionDetector {
  public:
    // Seconds from the end of a gesture to the first read, and before the one retry.
    static constexpr double readDelay = 0.08;
    static constexpr double retryDelay = 0.25;
    // Points of travel beyond which a press becomes a drag.
    static constexpr double dragThreshold = 4.0;
    // Points from the bar beyond which a mouse move hides it.
    static constexpr double awayDistance = 180.0;
    // Seconds after a gesture within which a hot-key press can still report a miss.
    static constexpr double missWindow = 3.0;

    struct Config {
        bool enabled = true;
        std::set<std::string> excluded;  // bundle identifiers where the bar never shows
        std::optional<TimePoint> pausedUntil;
        std::string ownBundleID = "com.morvale.pivorel";
        bool operator==(const Config&) const = default;

        // The configuration the user's settings give.
        static Config from(const BarSettings& settings);
    };

    struct Event {
        struct MouseDown {
            std::int64_t clickCount = 1;
            Point point;
            bool operator==(const MouseDown&) const = default;
        };
        struct MouseDragged {
            Point point;
            bool operator==(const MouseDragged&) const = default;
        };
        struct MouseUp {
            std::int64_t clickCount = 1;
            Point point;
            bool shift = false;
            bool operator==(const MouseUp&) const = default;
        };
        struct KeyDown {
            std::uint16_t keyCode = 0;
            bool operator==(const KeyDown&) const = default;
        };
        struct AppActivated {
            std::optional<std::string> bundleID;
            bool operator==(const AppActivated&) const = default;
        };
        struct MouseMoved {
            double distanceFromBar = 0;
            bool operator==(const MouseMoved&) const = default;
        };
        struct Scroll {
            bool operator==(const Scroll&) const = default;
        };
        using Value = std::variant<MouseDown, MouseDragged, MouseUp, KeyDown, AppActivated,
                                   MouseMoved, Scroll>;

        template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, Event> &&
                 std::is_constructible_v<Value, T&&>) Event(T&& e)
            : value(std::forward<T>(e)) {}

        Value value;
        bool operator==(const Event&) const = default;
    };

    // The detector event for an input event, if this kind matters to it. Right and other
    // buttons only press: they hide the bar and cancel a press, never select.
    static std::optional<Event> eventFor(const GestureEvent& gesture);

    enum class HideReason { mouseDown, scroll, key, esc, appSwitch, mouseAway };

    struct Command {
        // Read the selection after `after` seconds; report it with readFinished(token, ...).
        struct Read {
            std::int64_t token = 0;
            double after = 0;
            bool operator==(const Read&) const = default;
        };
        // Show the bar for `text`; `down` and `up` are where the selecting gesture began and
        // ended, `app` holds the selection.
        struct Show {
            std::string text;
            Point down;
            Point up;
            std::optional<std::string> app;
            bool operator==(const Show&) const = default;
        };
        struct Hide {
            HideReason reason = HideReason::mouseDown;
            bool operator==(const Hide&) const = default;
        };
        using Value = std::variant<Read, Show, Hide>;

        template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, Command> &&
                 std::is_constructible_v<Value, T&&>) Command(T&& c)
            : value(std::forward<T>(c)) {}

        Value value;
        bool operator==(const Command&) const = default;
    };

    // Zero or one command.
    using Commands = std::vector<Command>;

    // What the selection reader found.
    struct ReadResult {
        struct Text {
            std::string text;
            bool operator==(const Text&) const = default;
        };
        // Nothing selected, or nothing readable yet: worth one retry.
        struct Empty {
            std::string reason;
            bool operator==(const Empty&) const = default;
        };
        // The target must not be read (a password field): no retry, and not a miss.
        struct Ignored {
            std::string reason;
            bool operator==(const Ignored&) const = default;
        };
        // Reading failed for good: no retry.
        struct Unavailable {
            std::string reason;
            bool operator==(const Unavailable&) const = default;
        };
        using Value = std::variant<Text, Empty, Ignored, Unavailable>;

        template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, ReadResult> &&
                 std::is_constructible_v<Value, T&&>) ReadResult(T&& r)
            : value(std::forward<T>(r)) {}

        Value value;
        bool operator==(const ReadResult&) const = default;
    };

    // What became of the last gesture.
    struct Outcome {
        // Not read: "disabled", "paused" or "excluded".
        struct Skipped {
            std::string reason;
            bool operator==(const Skipped&) const = default;
        };
        // Read, but no text: the reader's reason.
        struct Failed {
            std::string reason;
            bool operator==(const Failed&) const = default;
        };
        struct Pending {
            bool operator==(const Pending&) const = default;
        };
        struct Shown {
            bool operator==(const Shown&) const = default;
        };
        struct IgnoredTarget {
            bool operator==(const IgnoredTarget&) const = default;
        };
        using Value = std::variant<Skipped, Failed, Pending, Shown, IgnoredTarget>;

        template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, Outcome> &&
                 std::is_constructible_v<Value, T&&>) Outcome(T&& o)
            : value(std::forward<T>(o)) {}

        Value value;
        bool operator==(const Outcome&) const = default;
    };

    struct Miss {
        std::optional<std::string> app;  // front application at gesture time
        std::string reason;
        std::int64_t ageMs = 0;  // from the gesture to the hot-key press
        bool operator==(const Miss&) const = default;
    };

    explicit SelectionDetector(Config config);

    // Feeds one input event; `frontApp` is the frontmost application at that moment.
    Commands handle(const Event& event, const std::optional<std::string>& frontApp, TimePoint now);

    // Feeds the result of a read asked for by a Read command. Only a result carrying the
    // current token counts: any press, key, scroll or newer gesture makes the read stale.
    Commands readFinished(std::int64_t token, const ReadResult& result,
                          const std::optional<std::string>& frontApp, TimePoint now);

    // The user summoned the bar by hot key: was the last gesture a miss? One gesture yields
    // at most one miss.
    std::optional<Miss> hotkeyPressed(TimePoint now);

    // The bar went away by other means (an action ran, the panel took over).
    void barDismissed() { visibleText_.reset(); }

    bool isBarVisible() const { return visibleText_.has_value(); }
    const std::optional<std::string>& visibleText() const { return visibleText_; }

    const Config& config() const { return config_; }
    // Settings changed; the rest of the state carries on.
    void setConfig(Config config) { config_ = std::move(config); }

    std::int64_t token() const { return token_; }
    std::int64_t attempt() const { return attempt_; }

  private:
    struct Press {
        Point down;
        std::int64_t clicks = 0;
        bool dragged = false;
    };
    struct Gesture {
        TimePoint at;
        std::optional<std::string> app;
        Point down;
        Point up;
        Outcome outcome;
    };

    Commands mouseUp(const Event::MouseUp& up, const std::optional<std::string>& frontApp,
                     TimePoint now);
    Commands retryOrFail(std::string reason);
    Commands hide(HideReason reason);

    Config config_;
    std::optional<std::string> visibleText_;
    std::int64_t token_ = 0;
    std::int64_t attempt_ = 0;
    std::optional<Press> pressed_;
    std::optional<Gesture> gesture_;
};

std::string_view toString(SelectionDetector::HideReason reason);
std::optional<SelectionDetector::HideReason> hideReasonFromString(std::string_view s);

}  // namespace pivorel
