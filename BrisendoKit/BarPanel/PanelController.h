#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Platform/PanelWindow.h"
#include "BrisendoKit/Support/Geometry.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class InputMonitor;
class MainQueue;
class Workspace;

// Owns the one panel window: shows it for a model near a point, routes keys, shows notices
// that close by themselves, and closes for a named reason. Main thread.
class PanelController {
  public:
    PanelController(PanelWindow& window, Workspace& workspace, InputMonitor& input,
                    MainQueue& queue);
    ~PanelController();
    PanelController(const PanelController&) = delete;
    PanelController& operator=(const PanelController&) = delete;

    // When the panel takes the keyboard: at once (the user asked for it with a click or the
    // hot key), or once the pointer enters it or clicks in it (an inbound link opened it,
    // and the user may be typing elsewhere).
    enum class Keyboard { atOnce, whenPointed };
    // Shows `model` with its content's top-left corner near `near` and takes the keyboard,
    // unless the model only shows a notice; a panel already up closes first ("replaced").
    void show(std::shared_ptr<PanelModel> model, Point near, Keyboard keyboard = Keyboard::atOnce);
    // Reasons: "esc", "replaced", "model-close", "notice-timeout", "outside-click",
    // "bar-shown", "action-opened", "url-close". Closing a closed panel reports nothing.
    void close(const std::string& reason);
    // Switches the model to the notice and closes after `seconds`, unless another notice,
    // a close or a new show comes first. Nothing without a model.
    void notice(const std::string& text, double seconds);
    // The key handler of the window.
    bool handleKey(const KeyEvent& event);

    bool isVisible() const;
    bool isKeyWindow() const;
    Rect frame() const;
    const std::shared_ptr<PanelModel>& model() const { return model_; }
    const std::optional<std::string>& lastCloseReason() const { return lastCloseReason_; }
    std::int64_t noticeToken() const { return noticeToken_; }

    // Emitted with the reason whenever a visible panel closes.
    Signal<const std::string&> closeLogged;
    bool clampsToScreen = true;

  private:
    void pointed(Point location);
    void modeDidChange();
    void outsideClick();
    void pointerMoved(Point location);

    PanelWindow& window_;
    Workspace& workspace_;
    InputMonitor& input_;
    MainQueue& queue_;
    std::shared_ptr<PanelModel> model_;
    Connection modeSub_;
    Connection closeSub_;
    Connection outsideMonitor_;
    // Where the pointer was when the panel came up, until it moves or presses: the outside
    // monitor may hear of the click that opened the panel only after the panel is up.
    std::optional<Point> openingSpot_;
    Connection openingSpotWatch_;
    // Showing a notice, or not yet pointed at: the keyboard is with the application.
    bool keyless_ = false;
    bool waitingForPointer_ = false;
    Connection pointerWatch_;
    std::int64_t noticeToken_ = 0;
    std::optional<std::string> lastCloseReason_;
    // Callbacks handed out hold this weakly and do nothing once the controller is gone.
    LifetimeToken<PanelController> self_{this};
};

}  // namespace pivorel
