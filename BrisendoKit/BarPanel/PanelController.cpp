#include "BrisendoKit/BarPanel/PanelController.h"

#include <cmath>
#include <utility>

#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/Platform/InputMonitor.h"
#include "BrisendoKit/Platform/KeyCodes.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

namespace {

// Timers take a finite, non-negative delay; a day is far beyond any notice.
constexpr double longestNotice = 24 * 60 * 60;
// How far the pointer may drift between the click that opened the panel and the moment the
// monitor reports that click.
constexpr double openingClickSlop = 6;

bool withinSlop(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y) <= openingClickSlop;
}

}  // namespace

PanelController::PanelController(PanelWindow& window, Workspace& workspace, InputMonitor& input,
                                 MainQueue& queue)
    : window_(window), workspace_(workspace), input_(input), queue_(queue) {
    window_.setKeyHandler([weak = self_.guard()](const KeyEvent& event) {
        auto* self = weak.get();
        return self != nullptr && self->handleKey(event);
    });
}

PanelController::~PanelController() {
    self_.reset();
}

void PanelController::show(std::shared_ptr<PanelModel> model, Point near, Keyboard keyboard) {
    close("replaced");
    if (!model) return;

    model_ = std::move(model);
    const auto weak = self_.guard();
    const PanelModel* shown = model_.get();
    // A model outlives its turn on screen (the coordinator keeps it); its close button must
    // then not close whatever panel came after it.
    closeSub_ = model_->closeRequested.connect([weak, shown] {
        if (auto* self = weak.get(); self && self->model_.get() == shown)
            self->close("model-close");
    });
    window_.setContent(model_);
    modeSub_ = model_->modeChanged.connect([weak, shown](const PanelMode&) {
        auto* self = weak.get();
        if (!self) return;
        self->queue_.post([weak, shown] {
            if (auto* later = weak.get(); later && later->model_.get() == shown)
                later->modeDidChange();
        });
    });

    const Size size = window_.fittingSize();
    const auto screen = screenContaining(workspace_, near);
    // With no screen there is nothing to keep the panel inside: it goes where it was asked.
    const Point origin = PanelPlacement::origin(size, near, screen ? screen->visibleFrame : Rect{},
                                                clampsToScreen && screen.has_value());
    window_.setFrame({origin.x, origin.y, size.width, size.height});
    // A notice has nothing to type into: keys typed meanwhile must reach the application.
    waitingForPointer_ = keyboard == Keyboard::whenPointed;
    keyless_ = model_->mode().isNotice() || waitingForPointer_;
    if (keyless_) {
        window_.orderFront();
    } else {
        window_.orderFrontAndMakeKey();
    }

    openingSpot_ = workspace_.pointerLocation();
    // The monitor may call from outside the main thread: the queue outlives the controller,
    // the controller is looked up only once on the main queue.
    outsideMonitor_ = input_.monitorMouseDowns([weak, &queue = queue_] {
        queue.post([weak] {
            if (auto* self = weak.get()) self->outsideClick();
        });
    });
    openingSpotWatch_ = input_.monitorMouseMoves([weak, &queue = queue_](Point location) {
        queue.post([weak, location] {
            if (auto* self = weak.get()) self->pointerMoved(location);
        });
    });
    if (waitingForPointer_) {
        pointerWatch_ = input_.monitorMouseMoves([weak, &queue = queue_](Point location) {
            queue.post([weak, location] {
                if (auto* self = weak.get()) self->pointed(location);
            });
        });
    }
}

void PanelController::close(const std::string& reason) {
    const bool wasVisible = window_.isVisible();
    if (wasVisible) lastCloseReason_ = reason;
    ++noticeToken_;

    std::shared_ptr<PanelModel> closing = std::move(model_);
    model_.reset();
    if (closing && closing->ask) closing->ask->cancel();
    window_.hide();
    modeSub_.reset();
    outsideMonitor_.reset();
    openingSpotWatch_.reset();
    openingSpot_.reset();
    pointerWatch_.reset();
    waitingForPointer_ = false;
    window_.setContent(nullptr);
    // The model may be running the very callback that closed the panel (a chosen row, the
    // close button): let it go only once that call has returned.
    if (closing) queue_.post([released = std::move(closing)] {});

    // Reported last, so a listener sees the panel already closed and may show another.
    if (wasVisible) closeLogged.emit(reason);
}

void PanelController::notice(const std::string& text, double seconds) {
    if (!model_) return;
    model_->setMode(PanelMode::notice(text));
    const std::int64_t token = ++noticeToken_;
    if (!(seconds >= 0)) seconds = 0;  // also NaN
    if (seconds > longestNotice) seconds = longestNotice;
    queue_.postAfter(seconds, [weak = self_.guard(), token] {
        if (auto* self = weak.get(); self && self->noticeToken_ == token)
            self->close("notice-timeout");
    });
}

bool PanelController::handleKey(const KeyEvent& event) {
    if (event.keyCode == KeyCodes::escape) {
        close("esc");
        return true;
    }
    // Held here so a choice that closes or replaces the panel cannot free the model under it.
    const std::shared_ptr<PanelModel> model = model_;
    if (!model || !model->mode().isList()) return false;
    if ((event.modifierFlags & KeyEvent::modifierMask) != 0) return false;

    switch (event.keyCode) {
        case KeyCodes::returnKey:
        case KeyCodes::keypadEnter:
            model->chooseHighlighted();
            return true;
        case KeyCodes::downArrow:
            model->moveHighlight(+1);
            return true;
        case KeyCodes::upArrow:
            model->moveHighlight(-1);
            return true;
        default:
            break;
    }

    const std::string& chars = event.charactersIgnoringModifiers;
    if (chars.size() != 1 || chars[0] < '1' || chars[0] > '9') return false;
    const std::int64_t digit = chars[0] - '0';
    // A digit beyond the rows is swallowed, so it never types into the application behind.
    if (digit <= static_cast<std::int64_t>(model->rows().size())) model->choose(digit - 1);
    return true;
}

bool PanelController::isVisible() const {
    return window_.isVisible();
}

bool PanelController::isKeyWindow() const {
    return window_.isKeyWindow();
}

Rect PanelController::frame() const {
    return window_.frame();
}

void PanelController::modeDidChange() {
    if (!model_ || !window_.isVisible()) return;
    const Size size = window_.fittingSize();
    const Rect old = window_.frame();
    // The top-left corner stays put: the panel grows to the right and downwards.
    const Rect resized{old.minX(), old.maxY() - size.height, size.width, size.height};
    const Screen* screen = nullptr;
    const auto screens = workspace_.screens();
    if (clampsToScreen) {
        const Point topLeft{resized.minX(), resized.maxY()};
        for (const auto& candidate : screens) {
            if (candidate.frame.contains(topLeft)) {
                screen = &candidate;
                break;
            }
        }
        if (const auto main = workspace_.mainScreen(); !screen && main && *main < screens.size())
            screen = &screens[*main];
    }
    // Without a screen to keep it on, the panel only changes its size.
    window_.setFrame(screen ? PanelPlacement::clamped(resized, screen->visibleFrame) : resized);
    // A list that became a notice gives the keyboard back; a notice that became a list or a
    // conversation takes it.
    const bool keyless = model_->mode().isNotice() || waitingForPointer_;
    if (keyless == keyless_) return;
    keyless_ = keyless;
    if (keyless) {
        window_.orderFront();
    } else {
        window_.orderFrontAndMakeKey();
    }
}

void PanelController::outsideClick() {
    const auto openingSpot = std::exchange(openingSpot_, std::nullopt);
    openingSpotWatch_.reset();
    if (!model_) return;
    const Point pointer = workspace_.pointerLocation();
    if (window_.frame().contains(pointer)) {
        pointed(pointer);
        return;
    }
    if (model_->mode().isAsk()) return;
    // The press that opened the panel (on the bar, say), heard late: the pointer is still
    // where the panel came up.
    if (openingSpot && withinSlop(*openingSpot, pointer)) return;
    close("outside-click");
}

void PanelController::pointed(Point location) {
    if (!waitingForPointer_ || !model_ || !window_.frame().contains(location)) return;
    waitingForPointer_ = false;
    pointerWatch_.reset();
    if (model_->mode().isNotice()) return;
    keyless_ = false;
    window_.orderFrontAndMakeKey();
}

void PanelController::pointerMoved(Point location) {
    if (openingSpot_ && withinSlop(*openingSpot_, location)) return;
    openingSpot_.reset();
    openingSpotWatch_.reset();
}

}  // namespace pivorel
