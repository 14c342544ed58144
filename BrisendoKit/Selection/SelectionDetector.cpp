#include "BrisendoKit/Selection/SelectionDetector.h"

#include "BrisendoKit/Support/AppIdentity.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "BrisendoKit/Platform/KeyCodes.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

using Commands = SelectionDetector::Commands;
using Command = SelectionDetector::Command;

Commands one(Command command) {
    Commands commands;
    commands.push_back(std::move(command));
    return commands;
}

constexpr std::array<std::string_view, 6> hideReasonNames = {
    "mouseDown", "scroll", "key", "esc", "appSwitch", "mouseAway",
};

}  // namespace

std::string_view toString(SelectionDetector::HideReason reason) {
    const auto i = static_cast<std::size_t>(reason);
    return i < hideReasonNames.size() ? hideReasonNames[i] : std::string_view();
}

std::optional<SelectionDetector::HideReason> hideReasonFromString(std::string_view s) {
    for (std::size_t i = 0; i < hideReasonNames.size(); ++i) {
        if (hideReasonNames[i] == s) return static_cast<SelectionDetector::HideReason>(i);
    }
    return std::nullopt;
}

SelectionDetector::SelectionDetector(Config config) : config_(std::move(config)) {}

Commands SelectionDetector::handle(const Event& event, const std::optional<std::string>& frontApp,
                                   TimePoint now) {
    if (const auto* down = std::get_if<Event::MouseDown>(&event.value)) {
        ++token_;
        pressed_ = Press{down->point, down->clickCount, false};
        return hide(HideReason::mouseDown);
    }
    if (const auto* drag = std::get_if<Event::MouseDragged>(&event.value)) {
        if (pressed_ && !pressed_->dragged &&
            std::hypot(drag->point.x - pressed_->down.x, drag->point.y - pressed_->down.y) >
                dragThreshold) {
            pressed_->dragged = true;
        }
        return {};
    }
    if (const auto* up = std::get_if<Event::MouseUp>(&event.value)) {
        return mouseUp(*up, frontApp, now);
    }
    if (const auto* key = std::get_if<Event::KeyDown>(&event.value)) {
        ++token_;
        return hide(key->keyCode == KeyCodes::escape ? HideReason::esc : HideReason::key);
    }
    if (std::holds_alternative<Event::AppActivated>(event.value)) {
        // The token stays: a read already under way still belongs to the gesture.
        return hide(HideReason::appSwitch);
    }
    if (const auto* moved = std::get_if<Event::MouseMoved>(&event.value)) {
        return moved->distanceFromBar > awayDistance ? hide(HideReason::mouseAway) : Commands{};
    }
    ++token_;  // scroll
    return hide(HideReason::scroll);
}

Commands SelectionDetector::mouseUp(const Event::MouseUp& up,
                                    const std::optional<std::string>& frontApp, TimePoint now) {
    // The press may have begun before we were watching.
    if (!pressed_) return {};
    const Press press = *pressed_;
    pressed_.reset();
    // The click count of the release decides: the press cannot know it becomes a double click.
    if (!press.dragged && up.clickCount < 2 && !up.shift) return {};

    ++token_;
    attempt_ = 1;
    gesture_ = Gesture{now, frontApp, press.down, up.point, Outcome::Pending{}};

    if (!config_.enabled) {
        gesture_->outcome = Outcome::Skipped{"disabled"};
        return {};
    }
    if (config_.pausedUntil && *config_.pausedUntil > now) {
        gesture_->outcome = Outcome::Skipped{"paused"};
        return {};
    }
    if (frontApp && (*frontApp == config_.ownBundleID || config_.excluded.count(*frontApp) > 0)) {
        gesture_->outcome = Outcome::Skipped{"excluded"};
        return {};
    }
    return one(Command::Read{token_, readDelay});
}

Commands SelectionDetector::readFinished(std::int64_t token, const ReadResult& result,
                                         const std::optional<std::string>& frontApp,
                                         TimePoint /*now*/) {
    if (token != token_ || !gesture_) return {};

    if (const auto* read = std::get_if<ReadResult::Text>(&result.value)) {
        std::string trimmed = text::trim(read->text);
        if (trimmed.empty()) return retryOrFail("blank");
        gesture_->outcome = Outcome::Shown{};
        if (visibleText_ == trimmed) return {};
        visibleText_ = trimmed;
        return one(Command::Show{std::move(trimmed), gesture_->down, gesture_->up,
                                 frontApp ? frontApp : gesture_->app});
    }
    if (const auto* empty = std::get_if<ReadResult::Empty>(&result.value)) {
        return retryOrFail(empty->reason);
    }
    if (std::holds_alternative<ReadResult::Ignored>(result.value)) {
        gesture_->outcome = Outcome::IgnoredTarget{};
        return {};
    }
    gesture_->outcome = Outcome::Failed{std::get<ReadResult::Unavailable>(result.value).reason};
    return {};
}

Commands SelectionDetector::retryOrFail(std::string reason) {
    if (attempt_ < 2) {
        ++attempt_;
        return one(Command::Read{token_, retryDelay});
    }
    gesture_->outcome = Outcome::Failed{std::move(reason)};
    return {};
}

std::optional<SelectionDetector::Miss> SelectionDetector::hotkeyPressed(TimePoint now) {
    if (!gesture_) return std::nullopt;

    // Integer ticks, so 1.1 s comes out as 1100 ms and not 1099; a wild clock must not
    // overflow the subtraction.
    std::int64_t ticks = 0;
    if (__builtin_sub_overflow(now.time_since_epoch().count(),
                               gesture_->at.time_since_epoch().count(), &ticks)) {
        return std::nullopt;
    }
    const TimePoint::duration age(ticks);
    if (std::chrono::duration<double>(age).count() > missWindow) return std::nullopt;

    std::string reason;
    if (const auto* skipped = std::get_if<Outcome::Skipped>(&gesture_->outcome.value)) {
        reason = skipped->reason;
    } else if (const auto* failed = std::get_if<Outcome::Failed>(&gesture_->outcome.value)) {
        reason = failed->reason;
    } else if (std::holds_alternative<Outcome::Pending>(gesture_->outcome.value)) {
        reason = "pending";
    } else {
        return std::nullopt;  // shown, or a target we must not read
    }

    // The clock may have been set back since the gesture: an age is never negative.
    const auto ageMs = std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(age).count());
    Miss miss{std::move(gesture_->app), std::move(reason), ageMs};
    gesture_.reset();
    return miss;
}

Commands SelectionDetector::hide(HideReason reason) {
    if (!visibleText_) return {};
    visibleText_.reset();
    return one(Command::Hide{reason});
}

std::optional<SelectionDetector::Event> SelectionDetector::eventFor(const GestureEvent& gesture) {
    const std::int64_t clicks = std::max<std::int64_t>(gesture.clickCount, 1);
    switch (gesture.type) {
        case GestureEvent::leftMouseDownType:
            return Event::MouseDown{clicks, gesture.location};
        case GestureEvent::leftMouseUpType:
            return Event::MouseUp{clicks, gesture.location, gesture.shift};
        case GestureEvent::rightMouseDownType:
        case GestureEvent::otherMouseDownType:
            return Event::MouseDown{1, gesture.location};
        case GestureEvent::leftMouseDraggedType:
            return Event::MouseDragged{gesture.location};
        case GestureEvent::keyDownType:
            return Event::KeyDown{gesture.keyCode};
        case GestureEvent::scrollWheelType:
            return Event::Scroll{};
        default:
            return std::nullopt;
    }
}

SelectionDetector::Config SelectionDetector::Config::from(const BarSettings& settings) {
    SelectionDetector::Config config;
    config.enabled = settings.enabled();
    const auto apps = settings.excluded();
    config.excluded = {apps.begin(), apps.end()};
    config.pausedUntil = settings.pausedUntil();
    config.ownBundleID = std::string(AppIdentity::bundleID);
    return config;
}

}  // namespace pivorel
